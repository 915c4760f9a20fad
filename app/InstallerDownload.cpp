#include "InstallerDownload.h"

#include <cstdio>
#include <curl/curl.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <unistd.h>

namespace {

const char* const kUserAgent = "RIDEVI(0.9/;p)";

struct CurlCloser {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlPtr = std::unique_ptr<CURL, CurlCloser>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct Sink {
    std::FILE* file;
    std::uint64_t written = 0;
    std::uint64_t maxBytes;
};

// A short count makes libcurl stop the transfer with CURLE_WRITE_ERROR.
std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* sink = static_cast<Sink*>(userData);
    const std::size_t bytes = size * count;
    if (bytes > sink->maxBytes - sink->written) {
        return 0;
    }
    const std::size_t stored = std::fwrite(data, 1, bytes, sink->file);
    sink->written += stored;
    return stored;
}

bool Configure(CURL* curl, const std::string& url, const DownloadLimits& limits, Sink& sink) {
    const bool set =
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
        // The transfer runs on the update thread: timeouts must not rely on signals.
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
    if (!set) {
        return false;
    }
    // Refuses an announced oversize body before its first byte; the write callback catches the
    // rest. A limit beyond what libcurl counts leaves only the callback's check.
    if (limits.maxBytes <= static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max())) {
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    }
    return true;
}

// A 200 answer whose body is as long as announced; libcurl's own check of a cut body gives
// CURLE_PARTIAL_FILE, this one also covers a server that announces more than it sends on close.
bool ArrivedWhole(CURL* curl, const Sink& sink) {
    long status = 0;
    curl_off_t announced = -1;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200 ||
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK) {
        return false;
    }
    return announced < 0 || static_cast<std::uint64_t>(announced) == sink.written;
}

// A new file at `path`, never one that is there already nor the target of a link there.
FilePtr CreateNewFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    FilePtr file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
    }
    return file;
}

bool Transfer(const std::string& url, FilePtr file, const DownloadLimits& limits) {
    CurlPtr curl(curl_easy_init());
    if (!curl) {
        return false;
    }
    Sink sink{file.get(), 0, limits.maxBytes};
    if (!Configure(curl.get(), url, limits, sink) || curl_easy_perform(curl.get()) != CURLE_OK ||
        !ArrivedWhole(curl.get(), sink)) {
        return false;
    }
    // Closing flushes the last bytes: a full disk shows here.
    return std::fclose(file.release()) == 0;
}

} // namespace

bool InstallerDownload::Fetch(const std::string& url, const std::string& path,
                              const DownloadLimits& limits) {
    FilePtr file = CreateNewFile(path);
    if (!file) {
        return false;
    }
    if (Transfer(url, std::move(file), limits)) {
        return true;
    }
    ::unlink(path.c_str());
    return false;
}
