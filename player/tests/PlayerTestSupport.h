#pragma once

// What the player tests share: a generated tone file, an observer that records every event,
// and a window that hands the graph's notifications to the player as the edit page does.

#include "MediaPlayer.h"
#include "pxmisc/IObserver.h"

#include <QObject>
#include <functional>
#include <string>
#include <vector>

namespace orvanta::test {

// Full-scale 1 kHz sine, 16-bit stereo at 44100 Hz, `ms` long, written as a WAV at `path`.
void WriteToneWav(const std::string& path, int ms);

struct RecordedEvent {
    std::string name;
    uint32_t arg1 = 0;
    uint32_t arg2 = 0;
};

// Registers for every event the player announces and keeps them in order. `onEvent` lets a
// test answer an event as the page would.
class EventRecorder : public IObserver {
public:
    explicit EventRecorder(MediaPlayer& player);
    ~EventRecorder() override;
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    void Update(ISubject* subject, std::string event, uint32_t data, uint32_t arg1,
                uint32_t arg2) override;

    // The names in order, without the position reports; ramp events carry their timer id:
    // "Playing, FadingStart 30, ...".
    std::string Sequence() const;
    std::vector<RecordedEvent> events;
    std::function<void(const RecordedEvent&)> onEvent;

private:
    MediaPlayer& m_player;
};

// The notify window: hands every graph notification to the player.
class NotifyWindow : public QObject {
public:
    explicit NotifyWindow(MediaPlayer& player) : m_player(player) {}
    bool event(QEvent* event) override;
    int lastParam = -1;

private:
    MediaPlayer& m_player;
};

// Runs the event loop until `done` or a generous limit (not a timing check).
bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000);

} // namespace orvanta::test
