#pragma once

#include "pxmisc/PXMiscExport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One HTTP/1.0 exchange at a time (GET, URL-encoded POST or multipart POST with file uploads).
// The whole response, body and raw headers, is kept in two fixed buffers inside the object, each
// always NUL-terminated: a longer body or header block is cut to fit.
//
// Error codes from GetLastError are libcurl's CURLcode values, also for the steps that are not
// libcurl's own (an unreadable file argument gives CURLE_READ_ERROR, over-long argument text
// CURLE_BAD_FUNCTION_ARGUMENT).
//
// Only one thread at a time may use an object; separate objects may run on separate threads.
class PXMISC_EXPORT GenericHTTPClient {
public:
    enum RequestMethod : int {
        REQUEST_GET = 1,
        REQUEST_POST = 2,          // application/x-www-form-urlencoded
        REQUEST_POST_MULTIPART = 3 // multipart/form-data, with file uploads
    };

    enum TypePostArgument : int {
        ARGUMENT_NORMAL = 1, // name and text value
        ARGUMENT_FILE = 2    // name and the path of the file to upload
    };

    // Both buffers, in bytes, including the terminating NUL.
    static constexpr uint32_t BUFFER_SIZE = 100000;
    // Longest argument name and value, and longest URL-encoded argument text, in characters.
    static constexpr std::size_t MAX_NAME_LENGTH = 255;
    static constexpr std::size_t MAX_VALUE_LENGTH = 1023;
    static constexpr std::size_t MAX_POST_TEXT_LENGTH = 1023;
    // Largest file a multipart post uploads, in bytes: the whole body is built in memory. A
    // larger file, or anything but a regular file (a device, a FIFO, a folder), fails the
    // request with CURLE_READ_ERROR before anything is sent.
    static constexpr uint64_t MAX_UPLOAD_FILE_BYTES = 64 * 1024 * 1024;
    // The bounds a request has until SetTimeouts says otherwise.
    static constexpr uint32_t DEFAULT_TOTAL_TIMEOUT_MS = 30000;
    static constexpr uint32_t DEFAULT_LOW_SPEED_BYTES_PER_SECOND = 1;
    static constexpr uint32_t DEFAULT_LOW_SPEED_SECONDS = 10;

    GenericHTTPClient();
    virtual ~GenericHTTPClient();
    GenericHTTPClient(const GenericHTTPClient&) = delete;
    GenericHTTPClient& operator=(const GenericHTTPClient&) = delete;

    // Every value of 0 or less becomes the first enumerator; positive values pass through.
    static RequestMethod GetMethod(int method);
    static TypePostArgument GetPostArgumentType(int type);

    // Parses, connects, sends, reads the response and closes; an "https" URL (in any case) is
    // asked over TLS. True when a response with at least one body byte came back, whatever its
    // HTTP status.
    bool Request(const char* url, int method, const char* userAgent);

    // Bounds the requests sent from now on, so a server that accepts and then stalls cannot
    // hold the caller for ever: a request may take at most totalMs milliseconds, connecting
    // included, and is given up once fewer than lowSpeedBytesPerSecond bytes per second have
    // arrived for lowSpeedSeconds seconds. A 0 turns a bound off (the speed bound when either
    // of its values is 0). A request ended by a bound fails with CURLE_OPERATION_TIMEDOUT.
    void SetTimeouts(uint32_t totalMs, uint32_t lowSpeedBytesPerSecond, uint32_t lowSpeedSeconds);

    // user and password may be null for none.
    bool Connect(const char* serverName, const char* userAgent, uint16_t port, const char* user,
                 const char* password);
    bool RequestOfURI(const char* objectPath, int method);
    // Fills the caller's buffers, cutting and NUL-terminating each; receivedSize is the number
    // of body bytes kept.
    bool Response(char* headerBuffer, uint32_t headerLength, char* bodyBuffer, uint32_t bodyLength,
                  uint32_t& receivedSize);
    bool Close();

    const char* QueryHTTPResponse() const;
    const char* QueryHTTPResponseHeader() const;
    uint32_t GetLastError() const;

    // A URL without "scheme:/" is taken as http; the port defaults to 443 for exactly "https",
    // to 80 otherwise. The path keeps its leading "/" and is empty when the URL has none.
    static void ParseURL(const char* url, std::string& protocol, std::string& address,
                         uint32_t& port, std::string& objectPath);

    // Refused (false) when the name is longer than MAX_NAME_LENGTH or the value longer than
    // MAX_VALUE_LENGTH characters. Names and values are sent as given: the caller encodes them.
    bool AddPostArguments(const char* name, const char* value, bool isFile = false);
    bool AddPostArguments(const char* name, uint32_t value);
    void InitilizePostArguments();

    // The MIME type for the file's extension, "application/octet-stream" when none is known.
    // The text stays valid until the next call on the same thread.
    static const char* GetContentType(const char* filePath);

protected:
    bool RequestGet(const char* objectPath);
    bool RequestPost(const char* objectPath);
    bool RequestPostMultiPartsFormData(const char* objectPath);

    // Copies the next received body bytes, at most length; 0 at the end.
    uint32_t ResponseOfBytes(char* buffer, uint32_t length);
    // Writes "name=value" pairs joined by "&", cut to fit and NUL-terminated, and returns the
    // full length of the text, so a result of length or more means it did not fit.
    uint32_t GetPostArguments(char* buffer, uint32_t length) const;
    // Builds the multipart body into body and returns its length; 0 when a file argument cannot
    // be read or is refused (see MAX_UPLOAD_FILE_BYTES).
    uint32_t AllocMultiPartsFormData(std::string& body, const char* boundary) const;
    // An estimate of the body size, to reserve it at once.
    uint64_t GetMultiPartsFormDataLength() const;

private:
    struct PostArgument {
        std::string name;
        std::string value;
        TypePostArgument type;
    };

    struct EasyHandleCloser {
        void operator()(void* handle) const;
    };

    // Sends the request, with body as a POST body when given, and keeps what comes back.
    bool Perform(const char* objectPath, const std::string* body,
                 const std::vector<std::string>& extraHeaders);
    bool Fail(uint32_t errorCode);

    std::vector<PostArgument> m_arguments;
    std::array<char, BUFFER_SIZE> m_httpResponseContent{};
    std::array<char, BUFFER_SIZE> m_httpResponseHeader{};
    // The libcurl easy handle stands in for the internet handle; the connection is the server,
    // port and credentials the request goes to; the request is open once it has been sent.
    std::unique_ptr<void, EasyHandleCloser> m_internet;
    bool m_connected = false;
    std::string m_server;
    uint16_t m_port = 0;
    // Whether the request goes over TLS: Request sets it from the URL's scheme; a connection
    // made with Connect alone is plain HTTP.
    bool m_secure = false;
    std::string m_user;
    std::string m_password;
    bool m_requestOpen = false;
    // What the sent request received, kept until Response hands it out.
    std::string m_receivedBody;
    std::size_t m_bodyReadOffset = 0;
    std::string m_receivedHeader;
    uint32_t m_lastError = 0;
    uint32_t m_totalTimeoutMs = DEFAULT_TOTAL_TIMEOUT_MS;
    uint32_t m_lowSpeedBytesPerSecond = DEFAULT_LOW_SPEED_BYTES_PER_SECOND;
    uint32_t m_lowSpeedSeconds = DEFAULT_LOW_SPEED_SECONDS;
};
