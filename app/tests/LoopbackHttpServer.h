#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 for the update tests: one connection at a time, an answer per
// request path, and the paths it was asked for.
class LoopbackHttpServer {
public:
    struct Reply {
        enum class Kind {
            Whole,  // sends the text and closes
            Silent, // reads the request and never answers
        };
        Kind kind = Kind::Whole;
        // The whole response, status line and headers included; with Whole, a text that stops
        // short of its Content-Length is a connection cut mid-body.
        std::string text;
    };

    // Paths without a reply get a "404 Not Found" page.
    explicit LoopbackHttpServer(std::map<std::string, Reply> replies);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // "http://127.0.0.1:PORT"; empty when the server could not listen.
    std::string Address() const;
    // The request paths received so far, in order.
    std::vector<std::string> Paths() const;
    // The raw header block of every request received so far.
    std::vector<std::string> Requests() const;

    // A "200 OK" response with a Content-Length.
    static std::string Ok(const std::string& body);
    // A response that announces `announced` body bytes and sends only `body`.
    static std::string Cut(const std::string& body, std::size_t announced);

private:
    void Serve();
    void Answer(int client);

    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::map<std::string, Reply> m_replies;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
