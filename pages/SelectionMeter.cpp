#include "SelectionMeter.h"

#include "PcmFrames.h"

SelectionMeter::SelectionMeter(QObject* parent) : QObject(parent) {
    qRegisterMetaType<SelectionMeter::Reading>();
    m_thread = std::thread([this] { Run(); });
}

SelectionMeter::~SelectionMeter() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_stopCurrent = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SelectionMeter::Measure(const Request& request) {
    {
        const std::lock_guard lock(m_mutex);
        m_next = request;
        m_nextGeneration = ++m_awaited;
        m_stopCurrent = true;
    }
    m_wake.notify_one();
}

void SelectionMeter::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_next) {
            // Idle: measure the file ahead, one piece at a time, listening between pieces.
            lock.unlock();
            const bool more = m_index && m_index->MeasureNextPiece();
            lock.lock();
            if (!more) {
                m_wake.wait(lock, [this] { return m_quit || m_next.has_value(); });
            }
            continue;
        }
        const Request request = *m_next;
        const uint64_t generation = m_nextGeneration;
        m_next.reset();
        m_stopCurrent = false;
        lock.unlock();
        const Reading reading = Answer(request);
        lock.lock();
        if (!m_stopCurrent) {
            QMetaObject::invokeMethod(
                this, [this, generation, reading] { Deliver(generation, reading); },
                Qt::QueuedConnection);
        }
    }
}

SelectionMeter::Reading SelectionMeter::Answer(const Request& request) {
    if (!m_index || m_index->Path() != request.wavPath ||
        m_indexGeneration != request.fileGeneration) {
        m_index = std::make_unique<orvanta::LoudnessIndex>(request.wavPath);
        m_indexGeneration = request.fileGeneration;
    }
    Reading reading;
    reading.request = request;
    const std::optional<orvanta::LoudnessFigures> figures =
        m_index->Measure(request.startMs, request.endMs, &m_stopCurrent);
    const std::optional<double> clipped =
        request.amplify > 1.0f
            ? orvanta::ClippedShare(request.wavPath, request.startMs, request.endMs,
                                    request.amplify, &m_stopCurrent)
            : std::optional(0.0);
    reading.ok = figures.has_value() && clipped.has_value();
    reading.figures = figures.value_or(orvanta::LoudnessFigures{});
    reading.clippedShare = clipped.value_or(0.0);
    return reading;
}

void SelectionMeter::Deliver(uint64_t generation, const Reading& reading) {
    if (generation != m_awaited) {
        return; // a newer request is on its way
    }
    emit Measured(reading);
}
