#pragma once

#include "Loudness.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Measures the loudness of the edit page's selection on a thread of its own, so the page never
// waits: each request replaces the one before (a measurement under way is stopped), and only the
// answer to the newest request comes back, as the Measured signal on the page's thread. While
// nothing is asked the thread measures the rest of the file ahead, so the next selection is quick.
class SelectionMeter : public QObject {
    Q_OBJECT

public:
    struct Request {
        std::string wavPath;
        int fileGeneration = 0; // a new import may reuse the path: a new number, a new index
        int32_t startMs = 0;
        int32_t endMs = 0;
        float amplify = 1.0f; // for the share of samples that would clip
    };
    struct Reading {
        Request request;
        orvanta::LoudnessFigures figures;
        double clippedShare = 0.0;
        bool ok = false; // false when the working WAV could not be read
    };

    explicit SelectionMeter(QObject* parent = nullptr);
    ~SelectionMeter() override;
    SelectionMeter(const SelectionMeter&) = delete;
    SelectionMeter& operator=(const SelectionMeter&) = delete;

    // Returns at once.
    void Measure(const Request& request);

signals:
    void Measured(const SelectionMeter::Reading& reading);

private:
    void Run();
    Reading Answer(const Request& request);
    void Deliver(uint64_t generation, const Reading& reading);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Request> m_next;
    uint64_t m_nextGeneration = 0;
    bool m_quit = false;
    std::atomic<bool> m_stopCurrent{false};
    std::unique_ptr<orvanta::LoudnessIndex> m_index; // the thread's own
    int m_indexGeneration = 0;                       // the meter thread only
    uint64_t m_awaited = 0;                          // page thread only
    std::thread m_thread;
};
