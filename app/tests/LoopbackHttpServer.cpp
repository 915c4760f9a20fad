#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 50;

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool Readable(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, kPollMs) > 0;
}

void SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t count = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(count);
    }
}

// The path of "GET /path HTTP/1.0".
std::string PathOf(const std::string& request) {
    const std::size_t start = request.find(' ');
    const std::size_t end = request.find(' ', start + 1);
    if (start == std::string::npos || end == std::string::npos) {
        return {};
    }
    return request.substr(start + 1, end - start - 1);
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(std::map<std::string, Reply> replies)
    : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_replies(std::move(replies)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (m_listener >= 0 && ::bind(m_listener, raw, sizeof address) == 0 &&
        ::getsockname(m_listener, raw, &length) == 0 && ::listen(m_listener, 8) == 0) {
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listener >= 0) {
        ::close(m_listener);
    }
}

std::string LoopbackHttpServer::Address() const {
    return m_port == 0 ? std::string() : "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> LoopbackHttpServer::Paths() const {
    std::vector<std::string> paths;
    for (const std::string& request : Requests()) {
        paths.push_back(PathOf(request));
    }
    return paths;
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
    const std::lock_guard guard(m_lock);
    return m_requests;
}

std::string LoopbackHttpServer::Ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string LoopbackHttpServer::Cut(const std::string& body, std::size_t announced) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(announced) + "\r\n\r\n" + body;
}

void LoopbackHttpServer::Serve() {
    while (!m_stop) {
        if (!Readable(m_listener)) {
            continue;
        }
        const Fd client(::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC));
        if (client.get() >= 0) {
            Answer(client.get());
        }
    }
}

void LoopbackHttpServer::Answer(int client) {
    std::string request;
    char piece[4096];
    while (!m_stop && request.find("\r\n\r\n") == std::string::npos) {
        if (!Readable(client)) {
            continue;
        }
        const ssize_t count = ::recv(client, piece, sizeof piece, 0);
        if (count <= 0) {
            return;
        }
        request.append(piece, static_cast<std::size_t>(count));
    }
    {
        const std::lock_guard guard(m_lock);
        m_requests.push_back(request);
    }
    const auto found = m_replies.find(PathOf(request));
    if (found == m_replies.end()) {
        SendAll(client, "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found");
        return;
    }
    if (found->second.kind == Reply::Kind::Whole) {
        SendAll(client, found->second.text);
        return;
    }
    while (!m_stop) {
        if (Readable(client) && ::recv(client, piece, sizeof piece, 0) <= 0) {
            return;
        }
    }
}
