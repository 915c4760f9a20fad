#include "PlayerTestSupport.h"

#include "TestSources.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <numbers>

namespace orvanta::test {

namespace {

const char* const kEventNames[] = {
    "Loading",   "Loaded",          "LoadFailed",       "Stopped",     "Playing",  "Completed",
    "UserAbort", "ErrorAbort",      "FadingStart",      "FadingEnd",   "FadingIn", "FadingOut",
    "Paused",    "PositionChanged", "PositionsChanged", "FadeOutPoint"};

} // namespace

void WriteToneWav(const std::string& path, int ms) {
    constexpr int kRate = 44100;
    const int frames = kRate * ms / 1000;
    std::vector<int16_t> samples;
    samples.reserve(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double phase = 2.0 * std::numbers::pi * 1000.0 * i / kRate;
        const auto value = static_cast<int16_t>(std::lround(32767.0 * std::sin(phase)));
        samples.push_back(value);
        samples.push_back(value);
    }
    WriteBytes(path, MakeWav16(samples, 2, kRate));
}

EventRecorder::EventRecorder(MediaPlayer& player) : m_player(player) {
    for (const char* name : kEventNames) {
        m_player.AddObserver(this, name, 0);
    }
}

EventRecorder::~EventRecorder() {
    m_player.RemoveObserver(this);
}

void EventRecorder::Update(ISubject* /*subject*/, std::string event, uint32_t /*data*/,
                           uint32_t arg1, uint32_t arg2) {
    events.push_back({event, arg1, arg2});
    if (onEvent) {
        onEvent(events.back());
    }
}

std::string EventRecorder::Sequence() const {
    std::string names;
    for (const RecordedEvent& e : events) {
        if (e.name == "PositionChanged" || e.name == "PositionsChanged") {
            continue;
        }
        names += names.empty() ? e.name : ", " + e.name;
        if (e.name == "FadingStart" || e.name == "FadingEnd") {
            names += " " + std::to_string(e.arg1);
        }
    }
    return names;
}

bool NotifyWindow::event(QEvent* event) {
    if (event->type() != MediaGraph::NotifyEventType()) {
        return QObject::event(event);
    }
    lastParam = static_cast<GraphNotifyEvent*>(event)->Param();
    m_player.HandleGraphEvents();
    return true;
}

bool PumpUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

} // namespace orvanta::test
