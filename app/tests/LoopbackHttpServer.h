#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 for the update tests: one connection at a time, a canned response
// per request path ("404 Not Found" for other paths; an empty response means never answering),
// and the raw requests it received.
class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(std::map<std::string, std::string> responses);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // "http://127.0.0.1:PORT".
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> Requests() const;

    // A "200 OK" response announcing `announced` body bytes (all of `body` by default).
    static std::string Ok(const std::string& body, std::size_t announced = std::string::npos);

private:
    void Serve(int client);

    int m_listener;
    std::uint16_t m_port = 0;
    std::map<std::string, std::string> m_responses;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
