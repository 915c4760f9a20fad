// Times the preview player as the edit page drives it: from PlayWithFade to the first buffer the
// sink renders, and from Stop to the "Stopped" event. Prints one line per run:
//     run N play_ms P stop_ms S
// bench/player_bench.sh makes the input, runs this and takes the medians.
#include "CAttribMedia.h"
#include "MediaGraph.h"
#include "MediaPlayer.h"
#include "pxmisc/IObserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gst/gst.h>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSelectionEndMs = 5000;
constexpr int kFadeMs = 1000;
constexpr int kPlayingMs = 200; // how long each run plays before it is stopped

// When the sink rendered its first buffer since the last reset; 0 while none.
std::atomic<int64_t> g_firstRender{0};

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Called on the streaming thread for every rendered buffer of every fakesink.
gboolean OnHandoff(GSignalInvocationHint* /*hint*/, guint /*count*/, const GValue* /*values*/,
                   gpointer /*data*/) {
    int64_t none = 0;
    g_firstRender.compare_exchange_strong(none, Now());
    return TRUE;
}

// The fakesink's "handoff" signal, for a hook on every instance (the graph keeps its sink).
bool HookFakesinkRenders() {
    GstElement* probe = gst_element_factory_make("fakesink", nullptr);
    if (probe == nullptr) {
        return false;
    }
    const guint signal = g_signal_lookup("handoff", G_OBJECT_TYPE(probe));
    gst_object_unref(gst_object_ref_sink(probe));
    return signal != 0 && g_signal_add_emission_hook(signal, 0, &OnHandoff, nullptr, nullptr) != 0;
}

class StopWatch : public IObserver {
public:
    explicit StopWatch(orvanta::MediaPlayer& player) : m_player(player) {
        m_player.AddObserver(this, "Stopped", 0);
    }
    ~StopWatch() override { m_player.RemoveObserver(this); }
    StopWatch(const StopWatch&) = delete;
    StopWatch& operator=(const StopWatch&) = delete;
    void Update(ISubject* /*subject*/, std::string /*event*/, uint32_t /*data*/, uint32_t /*arg1*/,
                uint32_t /*arg2*/) override {
        stoppedAt = Now();
    }
    int64_t stoppedAt = 0;

private:
    orvanta::MediaPlayer& m_player;
};

void PumpFor(int ms, const std::atomic<int64_t>* until = nullptr) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && (until == nullptr || until->load() == 0)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

double Ms(int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WORK.wav RUNS\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[2]);
    setenv("ORVANTA_AUDIO_SINK", "fakesink sync=true signal-handoffs=true", /*overwrite=*/1);
    QCoreApplication application(argc, argv);
    std::string error;
    if (!orvanta::MediaGraph::Initialise(error) || !HookFakesinkRenders()) {
        std::fprintf(stderr, "GStreamer cannot start: %s\n", error.c_str());
        return 1;
    }
    orvanta::MediaPlayer player;
    QObject window;
    player.Init(&window, 0);
    StopWatch watch(player);
    orvanta::CAttribMedia media(argv[1]);
    if (player.Load(&media) == 0) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    player.SetVolume(100);
    for (int run = 1; run <= runs; ++run) {
        player.SetPositions(0, kSelectionEndMs);
        player.SetFadeDuration(kFadeMs);
        g_firstRender = 0;
        const int64_t playAt = Now();
        player.PlayWithFade(true);
        PumpFor(kPlayingMs * 10, &g_firstRender);
        PumpFor(kPlayingMs);
        watch.stoppedAt = 0;
        const int64_t stopAt = Now();
        player.Stop();
        if (g_firstRender == 0 || watch.stoppedAt == 0) {
            std::fprintf(stderr, "run %d: no sound or no \"Stopped\"\n", run);
            return 1;
        }
        std::printf("run %d play_ms %.3f stop_ms %.3f\n", run, Ms(g_firstRender - playAt),
                    Ms(watch.stoppedAt - stopAt));
    }
    player.ReleaseGraph();
    return 0;
}
