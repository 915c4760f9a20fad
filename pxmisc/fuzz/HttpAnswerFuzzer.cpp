// libFuzzer target: the HTTP client's reading of an answer (status line, headers, body). A
// server on the loopback interface gives the input, byte for byte, as its answer to every
// connection; the process's proxy settings lead every request there, so a redirection to any
// address (the client follows up to five) is answered by the same server and never leaves the
// machine.

#include "FuzzCheck.h"
#include "pxmisc/GenericHTTPClient.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

// An answer that starts with these bytes is plain: the client must keep its body as sent.
constexpr std::string_view kPlainHead = "HTTP/1.0 200 OK\r\n\r\n";

using orvanta::fuzz::Violation;

class AnswerServer {
public:
    AnswerServer() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 16) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("orvanta fuzz: the answer server");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    uint16_t Port() const { return m_port; }

    void SetAnswer(std::string answer) {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_answer = std::move(answer);
    }

private:
    void Serve() {
        for (;;) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                Answer(connection);
                ::close(connection);
            }
        }
    }

    // Reads the request's head, so that closing loses none of the answer, then answers.
    void Answer(int connection) {
        const timeval wait{2, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        std::string request;
        char piece[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const ssize_t got = ::recv(connection, piece, sizeof piece, 0);
            if (got <= 0) {
                return;
            }
            request.append(piece, static_cast<std::size_t>(got));
        }
        std::string answer;
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            answer = m_answer;
        }
        std::size_t sent = 0;
        while (sent < answer.size()) {
            const ssize_t put =
                ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (put <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(put);
        }
        ::shutdown(connection, SHUT_WR);
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::mutex m_lock;
    std::string m_answer;
};

AnswerServer* g_server = nullptr;

void CheckPlainBody(const std::string& answer, const char* kept) {
    const std::string sent = answer.substr(kPlainHead.size());
    const std::size_t expected =
        std::min<std::size_t>(std::strlen(sent.c_str()), GenericHTTPClient::BUFFER_SIZE - 1);
    if (std::strlen(kept) != expected || std::memcmp(kept, sent.data(), expected) != 0) {
        Violation("a plain answer's body was not kept as sent");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    g_server = new AnswerServer;
    const std::string proxy = "http://127.0.0.1:" + std::to_string(g_server->Port());
    ::setenv("http_proxy", proxy.c_str(), 1);
    ::setenv("https_proxy", proxy.c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string answer(reinterpret_cast<const char*>(data), size);
    g_server->SetAnswer(answer);
    GenericHTTPClient client;
    client.SetTimeouts(10000, 1, 5);
    const bool answered =
        client.Request("http://update.invalid/ask", GenericHTTPClient::REQUEST_GET, "fuzz");
    const char* body = client.QueryHTTPResponse();
    const char* header = client.QueryHTTPResponseHeader();
    if (::strnlen(body, GenericHTTPClient::BUFFER_SIZE) == GenericHTTPClient::BUFFER_SIZE ||
        ::strnlen(header, GenericHTTPClient::BUFFER_SIZE) == GenericHTTPClient::BUFFER_SIZE) {
        Violation("a response buffer without its terminating NUL");
    }
    if (answered && answer.starts_with(kPlainHead)) {
        CheckPlainBody(answer, body);
    }
    return 0;
}
