#pragma once

#include "GstHandles.h"

#include <QEvent>
#include <cstdint>
#include <optional>
#include <string>

class QObject;

namespace orvanta {

// The media graph behind the preview player: one GStreamer playbin that renders one file through
// a volume element into the audio sink named by ORVANTA_AUDIO_SINK (a launch description;
// "autoaudiosink" when unset). Positions are absolute, in 100-ns units; the volume is in hundredths
// of a decibel. Used from the thread that runs the Qt event loop; only the bus notification crosses
// threads.
class MediaGraph {
public:
    // The graph's event codes, as the player reads them.
    enum EVENT_CODE { EC_OTHER = 0, EC_COMPLETE = 1, EC_USERABORT = 2, EC_ERRORABORT = 3 };
    struct Event {
        int code = EC_OTHER;
        std::string text; // GStreamer's sentence, for errors and warnings
    };

    // Silence and unity gain, in hundredths of a decibel.
    static constexpr int32_t kSilentVolume = -10000;
    static constexpr int32_t kFullVolume = 0;

    MediaGraph();
    ~MediaGraph();
    MediaGraph(const MediaGraph&) = delete;
    MediaGraph& operator=(const MediaGraph&) = delete;

    // Initialises GStreamer once per process; false with `error` set when it cannot start.
    static bool Initialise(std::string& error);
    // The type of the event posted to the notify window whenever the bus has a new message.
    static QEvent::Type NotifyEventType();
    // Asked now and then while a graph waits to get ready (RenderFile, StopWhenReady): true
    // gives the wait up, as a failure. The command-line tool stops on a signal this way; null,
    // the default, lets every wait run its course.
    static void SetWaitCanceller(bool (*cancelled)());
    // The linear gain GStreamer wants for a volume in hundredths of a decibel.
    static double LinearVolume(int32_t hundredthsDb);

    // Builds the playbin for the file and waits until it is ready to play (paused at its start).
    // False when the file cannot be played; the reason goes to the log.
    bool RenderFile(const std::string& pathName);

    // Posts a GraphNotifyEvent carrying `param` to `window` for every bus message, from
    // whichever thread posts it. A null window stops the notifications. The window must stay
    // alive until it is cleared here or the graph is destroyed.
    void SetNotifyWindow(QObject* window, int param);

    bool Run();
    // Pauses: the graph keeps its file and its position.
    bool Stop();
    // Waits (bounded) until the graph has finished its last change of state or position.
    bool StopWhenReady();

    // Sets the position and the position playback stops at; 0 as the stop means the end of
    // the file. Both are clamped to the stream, the stop to no earlier than the position.
    bool SetPositions(int64_t current, int64_t stop);
    std::optional<int64_t> GetCurrentPosition() const;
    std::optional<int64_t> GetDuration() const;

    // The next message of the bus without waiting; false when the queue is empty.
    bool GetEvent(Event& event);

    // -10000 (silence) to 0 (unity gain); anything else is refused.
    bool PutVolume(int32_t hundredthsDb);

private:
    struct NotifyTarget;

    bool BuildPipeline(const std::string& pathName);
    void WatchBus();
    bool WaitForStateChange();
    void LogBusErrors();
    static bool (*&WaitCanceller())();

    // Where notifications go, and the bus's messages until GetEvent reads them. Handed to the
    // bus's sync handler with the bus, which frees it when the bus dies; freed by the graph
    // only when no bus was ever made.
    NotifyTarget* m_notify;
    GstOwner<GstElement> m_sink;   // the volume element and the configured sink, in one bin
    GstOwner<GstElement> m_volume; // inside m_sink
    GstOwner<GstElement> m_playbin;
    GstOwner<GstBus> m_bus;
    bool m_running = false;
    bool m_errorReported = false; // since the last seek
    bool m_waitCancelled = false; // the last wait was given up by the canceller
    // The volume changed while paused, after the first buffer went through at the old one.
    bool m_prerolledAtOldVolume = false;
    // The last positions asked for (100-ns units), to read the same place again.
    int64_t m_lastCurrent = 0;
    int64_t m_lastStop = 0;
};

// Posted to the notify window; `Param()` is the value given to SetNotifyWindow.
class GraphNotifyEvent : public QEvent {
public:
    explicit GraphNotifyEvent(int param);
    int Param() const { return m_param; }

private:
    int m_param;
};

} // namespace orvanta
