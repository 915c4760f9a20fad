#include "pxmisc/GenericHTTPClient.h"

#include "AsciiCase.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* kMultipartBoundary = "--MULTI-PARTS-FORM-DATA-BOUNDARY";
constexpr const char* kDefaultContentType = "application/octet-stream";
// Size of one read from the received body, in bytes.
constexpr uint32_t kReadPieceSize = 1024;
// Estimates for sizing a multipart body, in bytes.
constexpr uint64_t kNormalPartReserve = 8192;
constexpr uint64_t kFilePartReserve = 6144;
constexpr long kConnectTimeoutMs = 30000;
constexpr long kMaxRedirects = 5;

struct SListFreer {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SListPtr = std::unique_ptr<curl_slist, SListFreer>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// An upload: a regular file of at most MAX_UPLOAD_FILE_BYTES, or null. Opened without waiting,
// so a FIFO without a writer is refused rather than waited for; a device or a folder is refused
// too, as it would be read into memory without end.
FilePtr OpenUpload(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) > GenericHTTPClient::MAX_UPLOAD_FILE_BYTES) {
        ::close(fd);
        return nullptr;
    }
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
    }
    return file;
}

// libcurl's global set-up is not safe to race, and easy handles would run it lazily.
bool LibcurlReady() {
    static const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    return code == CURLE_OK;
}

// Collects received bytes up to a limit. The body stops the transfer once it is full (nothing
// more would be kept); headers are small and are only cut, so the body still arrives.
struct Sink {
    std::string* data;
    std::size_t limit;
    bool stopWhenFull;
    bool overflowed = false;
};

std::size_t Keep(Sink& sink, const char* bytes, std::size_t byteCount) {
    const std::size_t room = sink.limit - std::min(sink.limit, sink.data->size());
    const std::size_t kept = std::min(room, byteCount);
    sink.data->append(bytes, kept);
    if (kept < byteCount) {
        sink.overflowed = true;
        if (sink.stopWhenFull) {
            return 0; // ends the transfer with CURLE_WRITE_ERROR, which the caller expects
        }
    }
    return byteCount;
}

std::size_t OnBody(char* bytes, std::size_t size, std::size_t count, void* userData) {
    return Keep(*static_cast<Sink*>(userData), bytes, size * count);
}

std::size_t OnHeader(char* bytes, std::size_t size, std::size_t count, void* userData) {
    auto& sink = *static_cast<Sink*>(userData);
    const std::size_t byteCount = size * count;
    // After a redirect only the final response's headers are wanted.
    if (byteCount >= 5 && std::memcmp(bytes, "HTTP/", 5) == 0) {
        sink.data->clear();
    }
    return Keep(sink, bytes, byteCount);
}

// Copies text into a fixed buffer, cut to fit and NUL-terminated.
void CopyCut(const std::string& text, char* buffer, std::size_t length) {
    if (length == 0) {
        return;
    }
    const std::size_t count = std::min(text.size(), length - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

thread_local std::array<char, 1024> t_contentType{};

} // namespace

void GenericHTTPClient::EasyHandleCloser::operator()(void* handle) const {
    curl_easy_cleanup(handle);
}

GenericHTTPClient::GenericHTTPClient() = default;

GenericHTTPClient::~GenericHTTPClient() = default;

GenericHTTPClient::RequestMethod GenericHTTPClient::GetMethod(int method) {
    return static_cast<RequestMethod>(method <= 0 ? REQUEST_GET : method);
}

GenericHTTPClient::TypePostArgument GenericHTTPClient::GetPostArgumentType(int type) {
    return static_cast<TypePostArgument>(type <= 0 ? ARGUMENT_NORMAL : type);
}

bool GenericHTTPClient::Request(const char* url, int method, const char* userAgent) {
    std::string protocol;
    std::string address;
    std::string objectPath;
    uint32_t port = 0;
    ParseURL(url, protocol, address, port, objectPath);
    if (port == 0 || port > std::numeric_limits<uint16_t>::max()) {
        return Fail(CURLE_URL_MALFORMAT);
    }
    if (!Connect(address.c_str(), userAgent, static_cast<uint16_t>(port), nullptr, nullptr)) {
        return false;
    }
    // Schemes ignore case; an https server is asked over TLS, whatever port it listens on.
    m_secure = AsciiEqualNoCase(protocol, "https");
    bool succeeded = false;
    if (RequestOfURI(objectPath.c_str(), method)) {
        uint32_t receivedSize = 0;
        succeeded = Response(m_httpResponseHeader.data(), BUFFER_SIZE, m_httpResponseContent.data(),
                             BUFFER_SIZE, receivedSize);
    }
    Close();
    return succeeded;
}

void GenericHTTPClient::SetTimeouts(uint32_t totalMs, uint32_t lowSpeedBytesPerSecond,
                                    uint32_t lowSpeedSeconds) {
    m_totalTimeoutMs = totalMs;
    m_lowSpeedBytesPerSecond = lowSpeedBytesPerSecond;
    m_lowSpeedSeconds = lowSpeedSeconds;
}

bool GenericHTTPClient::Connect(const char* serverName, const char* userAgent, uint16_t port,
                                const char* user, const char* password) {
    Close();
    if (!LibcurlReady()) {
        return Fail(CURLE_FAILED_INIT);
    }
    if (serverName == nullptr || *serverName == '\0' || port == 0) {
        return Fail(CURLE_URL_MALFORMAT);
    }
    m_internet.reset(curl_easy_init());
    if (!m_internet) {
        return Fail(CURLE_FAILED_INIT);
    }
    CURL* curl = m_internet.get();
    CURLcode code = curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent ? userAgent : "");
    if (code == CURLE_OK) {
        // The client runs on worker threads; timeouts must not rely on signals.
        code = curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    }
    if (code != CURLE_OK) {
        m_internet.reset();
        return Fail(code);
    }
    m_server = serverName;
    m_port = port;
    m_secure = false;
    m_user = user ? user : "";
    m_password = password ? password : "";
    m_connected = true;
    return true;
}

bool GenericHTTPClient::RequestOfURI(const char* objectPath, int method) {
    switch (GetMethod(method)) {
    case REQUEST_POST:
        return RequestPost(objectPath);
    case REQUEST_POST_MULTIPART:
        return RequestPostMultiPartsFormData(objectPath);
    default:
        return RequestGet(objectPath);
    }
}

bool GenericHTTPClient::Response(char* headerBuffer, uint32_t headerLength, char* bodyBuffer,
                                 uint32_t bodyLength, uint32_t& receivedSize) {
    if (!m_requestOpen) {
        return Fail(CURLE_BAD_FUNCTION_ARGUMENT);
    }
    receivedSize = 0;
    if (bodyLength > 0) {
        std::memset(bodyBuffer, 0, bodyLength);
        // The last byte stays NUL, so the body can always be read as a C string.
        const uint32_t capacity = bodyLength - 1;
        while (receivedSize < capacity) {
            const uint32_t want = std::min(kReadPieceSize, capacity - receivedSize);
            const uint32_t got = ResponseOfBytes(bodyBuffer + receivedSize, want);
            if (got == 0) {
                break;
            }
            receivedSize += got;
        }
    }
    if (headerLength > 0) {
        std::memset(headerBuffer, 0, headerLength);
    }
    if (m_receivedHeader.empty()) {
        return Fail(CURLE_GOT_NOTHING);
    }
    CopyCut(m_receivedHeader, headerBuffer, headerLength);
    return receivedSize > 0;
}

bool GenericHTTPClient::Close() {
    m_requestOpen = false;
    m_connected = false;
    m_internet.reset();
    m_receivedBody.clear();
    m_receivedBody.shrink_to_fit();
    m_bodyReadOffset = 0;
    m_receivedHeader.clear();
    m_receivedHeader.shrink_to_fit();
    return true;
}

const char* GenericHTTPClient::QueryHTTPResponse() const {
    return m_httpResponseContent.data();
}

const char* GenericHTTPClient::QueryHTTPResponseHeader() const {
    return m_httpResponseHeader.data();
}

uint32_t GenericHTTPClient::GetLastError() const {
    return m_lastError;
}

void GenericHTTPClient::ParseURL(const char* url, std::string& protocol, std::string& address,
                                 uint32_t& port, std::string& objectPath) {
    const std::string text = url ? url : "";
    std::size_t hostStart = 0;
    protocol = "http";
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && colon + 1 < text.size() && text[colon + 1] == '/') {
        protocol = text.substr(0, colon);
        hostStart = std::min(colon + 3, text.size());
    }
    std::size_t hostEnd = text.find('/', hostStart);
    if (hostEnd == std::string::npos) {
        hostEnd = text.size();
    }
    const std::string host = text.substr(hostStart, hostEnd - hostStart);
    const std::size_t portColon = host.find(':');
    if (portColon != std::string::npos) {
        address = host.substr(0, portColon);
        // Anything but plain digits within the 16-bit range gives 0, which no request accepts.
        const std::string digits = host.substr(portColon + 1);
        port = 0;
        if (!digits.empty() && digits.size() <= 5 &&
            std::all_of(digits.begin(), digits.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            port = static_cast<uint32_t>(std::stoul(digits));
            if (port > std::numeric_limits<uint16_t>::max()) {
                port = 0;
            }
        }
    } else {
        address = host;
        port = protocol == "https" ? 443 : 80;
    }
    objectPath = text.substr(hostEnd);
}

bool GenericHTTPClient::AddPostArguments(const char* name, const char* value, bool isFile) {
    const std::string nameText = name ? name : "";
    const std::string valueText = value ? value : "";
    if (nameText.size() > MAX_NAME_LENGTH || valueText.size() > MAX_VALUE_LENGTH) {
        return false;
    }
    m_arguments.push_back({nameText, valueText, isFile ? ARGUMENT_FILE : ARGUMENT_NORMAL});
    return true;
}

bool GenericHTTPClient::AddPostArguments(const char* name, uint32_t value) {
    // Unsigned, so large values do not come out negative.
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    return AddPostArguments(name, text, false);
}

void GenericHTTPClient::InitilizePostArguments() {
    m_arguments.clear();
}

const char* GenericHTTPClient::GetContentType(const char* filePath) {
    const std::string path = filePath ? filePath : "";
    std::string type = kDefaultContentType;
    // Only the extension counts: a name without one is never guessed from its stem.
    // An "extension" reaching into the path (a dot in a folder name) names no type.
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos) {
        const QMimeDatabase database;
        const QMimeType mime = database.mimeTypeForFile(
            QStringLiteral("file") + QString::fromStdString(path.substr(dot)),
            QMimeDatabase::MatchExtension);
        if (mime.isValid() && !mime.isDefault()) {
            type = mime.name().toStdString();
        }
    }
    CopyCut(type, t_contentType.data(), t_contentType.size());
    return t_contentType.data();
}

bool GenericHTTPClient::RequestGet(const char* objectPath) {
    return Perform(objectPath, nullptr, {"Accept: */*"});
}

bool GenericHTTPClient::RequestPost(const char* objectPath) {
    char text[MAX_POST_TEXT_LENGTH + 1];
    const uint32_t length = GetPostArguments(text, sizeof text);
    if (length >= sizeof text) {
        // A cut argument text would send different values than the caller gave.
        return Fail(CURLE_BAD_FUNCTION_ARGUMENT);
    }
    const std::string body(text, length);
    return Perform(objectPath, &body,
                   {"Accept: */*", "Content-Type: application/x-www-form-urlencoded"});
}

bool GenericHTTPClient::RequestPostMultiPartsFormData(const char* objectPath) {
    std::string body;
    const uint32_t length = AllocMultiPartsFormData(body, kMultipartBoundary);
    if (length == 0) {
        return Fail(CURLE_READ_ERROR);
    }
    return Perform(
        objectPath, &body,
        {"Accept: */*",
         std::string("Content-Type: multipart/form-data; boundary=") + kMultipartBoundary,
         "Content-Length: " + std::to_string(length)});
}

uint32_t GenericHTTPClient::ResponseOfBytes(char* buffer, uint32_t length) {
    const std::size_t remaining = m_receivedBody.size() - m_bodyReadOffset;
    const std::size_t count = std::min<std::size_t>(remaining, length);
    std::memcpy(buffer, m_receivedBody.data() + m_bodyReadOffset, count);
    m_bodyReadOffset += count;
    return static_cast<uint32_t>(count);
}

uint32_t GenericHTTPClient::GetPostArguments(char* buffer, uint32_t length) const {
    std::string text;
    for (const PostArgument& argument : m_arguments) {
        if (!text.empty()) {
            text += '&';
        }
        text += argument.name;
        text += '=';
        text += argument.value;
    }
    CopyCut(text, buffer, length);
    return static_cast<uint32_t>(
        std::min<std::size_t>(text.size(), std::numeric_limits<uint32_t>::max()));
}

uint32_t GenericHTTPClient::AllocMultiPartsFormData(std::string& body, const char* boundary) const {
    const std::string mark = std::string("--") + (boundary ? boundary : "");
    body.clear();
    body.reserve(static_cast<std::size_t>(
        std::min<uint64_t>(GetMultiPartsFormDataLength(), std::numeric_limits<uint32_t>::max())));
    for (const PostArgument& argument : m_arguments) {
        if (argument.type != ARGUMENT_FILE) {
            body += mark + "\r\nContent-Disposition: form-data; name=\"" + argument.name +
                    "\"\r\n\r\n" + argument.value + "\r\n";
            continue;
        }
        FilePtr file = OpenUpload(argument.value);
        if (!file) {
            return 0;
        }
        body += mark + "\r\nContent-Disposition: form-data; name=\"" + argument.name +
                "\"; filename=\"" + argument.value +
                "\"\r\nContent-Type: " + GetContentType(argument.value.c_str()) + "\r\n\r\n";
        char piece[kReadPieceSize];
        std::size_t got = 0;
        uint64_t fileBytes = 0;
        while ((got = std::fread(piece, 1, sizeof piece, file.get())) > 0) {
            body.append(piece, got);
            fileBytes += got;
        }
        // A file that grew past the cap while it was read is refused all the same.
        if (std::ferror(file.get()) != 0 || fileBytes > MAX_UPLOAD_FILE_BYTES) {
            return 0;
        }
        body += "\r\n";
    }
    body += mark + "--\r\n";
    if (body.size() > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    return static_cast<uint32_t>(body.size());
}

uint64_t GenericHTTPClient::GetMultiPartsFormDataLength() const {
    uint64_t total = 0;
    for (const PostArgument& argument : m_arguments) {
        if (argument.type == ARGUMENT_FILE) {
            std::error_code error;
            const auto size = std::filesystem::file_size(argument.value, error);
            total += (error ? 0 : size) + kFilePartReserve;
        } else {
            total += kNormalPartReserve;
        }
    }
    return total;
}

bool GenericHTTPClient::Perform(const char* objectPath, const std::string* body,
                                const std::vector<std::string>& extraHeaders) {
    if (!m_connected || !m_internet) {
        return Fail(CURLE_BAD_FUNCTION_ARGUMENT);
    }
    m_requestOpen = false;
    m_receivedBody.clear();
    m_bodyReadOffset = 0;
    m_receivedHeader.clear();

    SListPtr headers;
    for (const std::string& line : extraHeaders) {
        curl_slist* appended = curl_slist_append(headers.get(), line.c_str());
        if (appended == nullptr) {
            return Fail(CURLE_OUT_OF_MEMORY);
        }
        // On success the list grows in place: the head, already owned, stays the same.
        if (!headers) {
            headers.reset(appended);
        }
    }

    std::string path = objectPath ? objectPath : "";
    if (path.empty() || path.front() != '/') {
        path.insert(path.begin(), '/');
    }
    const std::string url =
        (m_secure ? "https://" : "http://") + m_server + ":" + std::to_string(m_port) + path;

    Sink bodySink{&m_receivedBody, BUFFER_SIZE - 1, /*stopWhenFull=*/true};
    Sink headerSink{&m_receivedHeader, BUFFER_SIZE - 1, /*stopWhenFull=*/false};

    CURL* curl = m_internet.get();
    CURLcode code = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (code == CURLE_OK) {
            code = curl_easy_setopt(curl, option, value);
        }
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    // libcurl takes 0 for "no bound" in all three, as SetTimeouts does.
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(m_totalTimeoutMs));
    set(CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(m_lowSpeedBytesPerSecond));
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_lowSpeedSeconds));
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&bodySink));
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&headerSink));
    if (!m_user.empty()) {
        set(CURLOPT_USERNAME, m_user.c_str());
        set(CURLOPT_PASSWORD, m_password.c_str());
    }
    // libcurl derives the verb from the body: POST with one, GET without.
    if (body != nullptr) {
        set(CURLOPT_POST, 1L);
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        set(CURLOPT_POSTFIELDS, body->data());
    } else {
        set(CURLOPT_HTTPGET, 1L);
    }
    if (code == CURLE_OK) {
        code = curl_easy_perform(curl);
        if (code == CURLE_WRITE_ERROR && bodySink.overflowed) {
            code = CURLE_OK; // we stopped the transfer: the body buffer was full
        }
    }
    // The header list and the body die with this call; the handle must not point at them.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
    if (code != CURLE_OK) {
        return Fail(code);
    }
    m_requestOpen = true;
    return true;
}

bool GenericHTTPClient::Fail(uint32_t errorCode) {
    m_lastError = errorCode;
    return false;
}
