#include "MediaGraph.h"

#include "EngineLog.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace orvanta {

namespace {

constexpr int64_t kNanosecondsPerUnit = 100;
// Long enough for a sound server to open a device, short enough not to hang a page on a
// broken one.
constexpr GstClockTime kStateChangeTimeout = 10 * GST_SECOND;
// How often a wait asks the canceller.
constexpr GstClockTime kWaitSlice = 50 * GST_MSECOND;
// playbin's GstPlayFlags: audio only, so the video and subtitle branches of a stray container
// are never built. Not playbin's software volume: GStreamer 1.22's playsink leaks that volume
// element and its two pads with every pipeline, so the sink bin brings its own.
constexpr guint kPlayFlagAudio = 0x2;
constexpr const char* kVolumeName = "orvanta_volume";

// The configured sink behind a volume element of ours, right where playbin would put its own.
std::string SinkDescription() {
    const char* described = std::getenv("ORVANTA_AUDIO_SINK");
    return std::string("volume name=") + kVolumeName + " ! " +
           (described != nullptr && *described != '\0' ? described : "autoaudiosink");
}

// The sentence of an error or warning message; GStreamer's details go to the info log.
std::string MessageText(GstMessage* message) {
    GError* raw = nullptr;
    gchar* rawDebug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, &raw, &rawDebug);
    } else {
        gst_message_parse_warning(message, &raw, &rawDebug);
    }
    const ErrorOwner error(raw);
    const TextOwner debug(rawDebug);
    if (debug) {
        EngineLog::Info("GStreamer: %s\n", debug.get());
    }
    return error ? error->message : "unknown GStreamer failure";
}

} // namespace

struct MediaGraph::NotifyTarget {
    std::mutex mutex;
    QObject* window = nullptr;
    int param = 0;
    // The bus's messages, in the order they were posted. The bus runs its sync handler before
    // it queues a message in its own queue, so a window that answered a notification by
    // reading the bus could find it still empty and never hear of the last message (the end
    // of stream); here a message is queued before its notification goes out.
    std::deque<MessageOwner> messages;

    // The first queued message of one of `types`, or null; the others stay queued.
    MessageOwner Take(GstMessageType types) {
        const std::lock_guard lock(mutex);
        const auto found = std::find_if(messages.begin(), messages.end(), [types](const auto& m) {
            return (GST_MESSAGE_TYPE(m.get()) & types) != 0;
        });
        if (found == messages.end()) {
            return nullptr;
        }
        MessageOwner message = std::move(*found);
        messages.erase(found);
        return message;
    }
};

GraphNotifyEvent::GraphNotifyEvent(int param)
    : QEvent(MediaGraph::NotifyEventType()), m_param(param) {}

MediaGraph::MediaGraph() : m_notify(new NotifyTarget) {
    // Registers the event type here, on the event loop's thread, before any bus thread asks.
    NotifyEventType();
}

MediaGraph::~MediaGraph() {
    SetNotifyWindow(nullptr, 0);
    if (m_playbin) {
        // Joins the streaming threads, so nothing posts to the bus after this.
        gst_element_set_state(m_playbin.get(), GST_STATE_NULL);
        // Unread messages hold their sources, the playbin among them, and the bus that frees
        // them lives as long as the playbin: kept, they would keep each other alive.
        const std::lock_guard lock(m_notify->mutex);
        m_notify->messages.clear();
    }
    if (!m_bus) {
        delete m_notify; // never handed to a bus
    }
}

bool MediaGraph::Initialise(std::string& error) {
    if (gst_is_initialized()) {
        return true;
    }
    GError* raw = nullptr;
    if (gst_init_check(nullptr, nullptr, &raw) == FALSE) {
        const ErrorOwner owned(raw);
        error = owned ? owned->message : "GStreamer cannot be initialised";
        return false;
    }
    return true;
}

QEvent::Type MediaGraph::NotifyEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

double MediaGraph::LinearVolume(int32_t hundredthsDb) {
    if (hundredthsDb <= kSilentVolume) {
        return 0.0; // 10^-5 would still be audible in a quiet room
    }
    return std::pow(10.0, static_cast<double>(hundredthsDb) / 2000.0);
}

bool MediaGraph::RenderFile(const std::string& pathName) {
    std::string error;
    if (m_playbin || !Initialise(error)) {
        EngineLog::Error("Cannot play \"%s\": %s\n", pathName.c_str(),
                         error.empty() ? "the graph already holds a file" : error.c_str());
        return false;
    }
    if (!BuildPipeline(pathName)) {
        return false;
    }
    if (gst_element_set_state(m_playbin.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        !WaitForStateChange()) {
        LogBusErrors();
        return false;
    }
    return true;
}

bool MediaGraph::BuildPipeline(const std::string& pathName) {
    GError* rawError = nullptr;
    const TextOwner uri(gst_filename_to_uri(pathName.c_str(), &rawError));
    const ErrorOwner uriError(rawError);
    m_playbin = SinkObject(gst_element_factory_make("playbin", nullptr));
    GError* rawSinkError = nullptr;
    m_sink =
        SinkObject(gst_parse_bin_from_description(SinkDescription().c_str(), TRUE, &rawSinkError));
    const ErrorOwner sinkError(rawSinkError);
    if (m_sink) {
        m_volume = AdoptObject(gst_bin_get_by_name(GST_BIN(m_sink.get()), kVolumeName));
    }
    if (!uri || !m_playbin || !m_volume || sinkError) {
        EngineLog::Error("Cannot play \"%s\": %s\n", pathName.c_str(),
                         uriError    ? uriError->message
                         : sinkError ? sinkError->message
                                     : "GStreamer's playbin or audio sink is missing");
        return false;
    }
    g_object_set(m_playbin.get(), "uri", uri.get(), "flags", kPlayFlagAudio, "audio-sink",
                 m_sink.get(), nullptr);
    WatchBus();
    return true;
}

void MediaGraph::WatchBus() {
    m_bus = AdoptObject(gst_element_get_bus(m_playbin.get()));
    // Runs on whichever thread posts; hands the target over to the bus, which frees it.
    gst_bus_set_sync_handler(
        m_bus.get(),
        [](GstBus*, GstMessage* message, gpointer data) {
            auto* target = static_cast<NotifyTarget*>(data);
            const std::lock_guard lock(target->mutex);
            target->messages.emplace_back(message); // the bus's reference, as GST_BUS_DROP wants
            if (target->window != nullptr) {
                QCoreApplication::postEvent(target->window, new GraphNotifyEvent(target->param));
            }
            return GST_BUS_DROP;
        },
        m_notify, [](gpointer data) { delete static_cast<NotifyTarget*>(data); });
}

void MediaGraph::SetWaitCanceller(bool (*cancelled)()) {
    WaitCanceller() = cancelled;
}

bool (*&MediaGraph::WaitCanceller())() {
    static bool (*cancelled)() = nullptr;
    return cancelled;
}

// In slices, so that the canceller is heard; a signal that wakes GStreamer's wait early (it
// reads as a time-out) only starts the next slice.
bool MediaGraph::WaitForStateChange() {
    m_waitCancelled = false;
    const GstClockTime deadline = gst_util_get_timestamp() + kStateChangeTimeout;
    for (;;) {
        const GstStateChangeReturn result =
            gst_element_get_state(m_playbin.get(), nullptr, nullptr, kWaitSlice);
        if (result != GST_STATE_CHANGE_ASYNC) {
            return result == GST_STATE_CHANGE_SUCCESS || result == GST_STATE_CHANGE_NO_PREROLL;
        }
        if (WaitCanceller() != nullptr && WaitCanceller()()) {
            m_waitCancelled = true;
            return false;
        }
        if (gst_util_get_timestamp() >= deadline) {
            return false;
        }
    }
}

void MediaGraph::LogBusErrors() {
    bool logged = false;
    while (const MessageOwner message{m_notify->Take(GST_MESSAGE_ERROR)}) {
        EngineLog::Error("%s\n", MessageText(message.get()).c_str());
        logged = true;
    }
    if (logged) {
        return;
    }
    if (m_waitCancelled) {
        EngineLog::Error("The wait for GStreamer to get ready to play was cancelled\n");
    } else {
        EngineLog::Error("GStreamer did not get ready to play within %d s\n",
                         static_cast<int>(kStateChangeTimeout / GST_SECOND));
    }
}

void MediaGraph::SetNotifyWindow(QObject* window, int param) {
    const std::lock_guard lock(m_notify->mutex);
    m_notify->window = window;
    m_notify->param = param;
}

bool MediaGraph::Run() {
    if (!m_playbin) {
        return false;
    }
    if (m_prerolledAtOldVolume) {
        // The paused graph already pushed its first buffer through the volume element: read it
        // again from the same place, or a fade-in would open with a blip at the old volume.
        m_prerolledAtOldVolume = false;
        SetPositions(m_lastCurrent, m_lastStop);
    }
    m_running =
        gst_element_set_state(m_playbin.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    return m_running;
}

bool MediaGraph::Stop() {
    m_running = false;
    return m_playbin &&
           gst_element_set_state(m_playbin.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
}

bool MediaGraph::StopWhenReady() {
    return m_playbin && WaitForStateChange();
}

bool MediaGraph::SetPositions(int64_t current, int64_t stop) {
    if (!m_playbin) {
        return false;
    }
    m_lastCurrent = current;
    m_lastStop = stop;
    m_errorReported = false; // the seek restarts the streaming threads
    const int64_t end = GetDuration().value_or(INT64_MAX);
    current = std::clamp<int64_t>(current, 0, end);
    const bool toTheEnd = stop == 0;
    stop = std::clamp<int64_t>(stop, current, end);
    // Accurate, so the segment starts and ends at the sample asked for, not at a key unit.
    return gst_element_seek(m_playbin.get(), 1.0, GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                            GST_SEEK_TYPE_SET, current * kNanosecondsPerUnit, GST_SEEK_TYPE_SET,
                            toTheEnd ? static_cast<gint64>(GST_CLOCK_TIME_NONE)
                                     : stop * kNanosecondsPerUnit) != FALSE;
}

std::optional<int64_t> MediaGraph::GetCurrentPosition() const {
    gint64 nanoseconds = 0;
    if (!m_playbin ||
        gst_element_query_position(m_playbin.get(), GST_FORMAT_TIME, &nanoseconds) == FALSE ||
        nanoseconds < 0) {
        return std::nullopt;
    }
    return nanoseconds / kNanosecondsPerUnit;
}

std::optional<int64_t> MediaGraph::GetDuration() const {
    gint64 nanoseconds = 0;
    if (!m_playbin ||
        gst_element_query_duration(m_playbin.get(), GST_FORMAT_TIME, &nanoseconds) == FALSE ||
        nanoseconds < 0) {
        return std::nullopt;
    }
    return nanoseconds / kNanosecondsPerUnit;
}

bool MediaGraph::GetEvent(Event& event) {
    if (!m_bus) {
        return false;
    }
    const MessageOwner message(m_notify->Take(GST_MESSAGE_ANY));
    if (!message) {
        return false;
    }
    event = Event{};
    switch (GST_MESSAGE_TYPE(message.get())) {
    case GST_MESSAGE_EOS:
        event.code = EC_COMPLETE;
        break;
    case GST_MESSAGE_ERROR:
        // One failure makes every element upstream fail too; only the first is the abort.
        event.code = m_errorReported ? EC_OTHER : EC_ERRORABORT;
        event.text = MessageText(message.get());
        m_errorReported = true;
        break;
    case GST_MESSAGE_WARNING:
        // No sound device, for one: playback goes on into a fake sink.
        event.text = MessageText(message.get());
        break;
    default:
        break;
    }
    return true;
}

bool MediaGraph::PutVolume(int32_t hundredthsDb) {
    if (!m_volume || hundredthsDb < kSilentVolume || hundredthsDb > kFullVolume) {
        return false;
    }
    g_object_set(m_volume.get(), "volume", LinearVolume(hundredthsDb), nullptr);
    m_prerolledAtOldVolume = !m_running;
    return true;
}

} // namespace orvanta
