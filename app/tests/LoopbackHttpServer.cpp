#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool Readable(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, /*timeout ms=*/50) > 0;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(std::map<std::string, std::string> responses)
    : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
      m_responses(std::move(responses)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (::bind(m_listener, raw, sizeof address) != 0 ||
        ::getsockname(m_listener, raw, &length) != 0 || ::listen(m_listener, 8) != 0) {
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        while (!m_stop) {
            const int client =
                Readable(m_listener) ? ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
            if (client >= 0) {
                Serve(client);
                ::close(client);
            }
        }
    });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    ::close(m_listener);
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
    const std::lock_guard guard(m_lock);
    return m_requests;
}

std::string LoopbackHttpServer::Ok(const std::string& body, std::size_t announced) {
    const std::size_t length = announced == std::string::npos ? body.size() : announced;
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" + body;
}

void LoopbackHttpServer::Serve(int client) {
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
        // Not HTTP (a TLS handshake, say): kept as it came, and the connection is closed.
        if (request[0] < 'A' || request[0] > 'Z') {
            const std::lock_guard guard(m_lock);
            m_requests.push_back(request);
            return;
        }
    }
    {
        const std::lock_guard guard(m_lock);
        m_requests.push_back(request);
    }
    // "GET /path HTTP/1.0"
    const std::size_t start = request.find(' ') + 1;
    const auto found = m_responses.find(request.substr(start, request.find(' ', start) - start));
    const std::string response =
        found == m_responses.end() ? "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found"
                                   : found->second;
    for (std::size_t sent = 0; !response.empty() && sent < response.size();) {
        const ssize_t count =
            ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(count);
    }
    // Never answering: hold the connection until the client gives up or the server stops.
    while (response.empty() && !m_stop) {
        if (Readable(client) && ::recv(client, piece, sizeof piece, 0) <= 0) {
            return;
        }
    }
}
