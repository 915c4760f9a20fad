#include "CAttribMedia.h"
#include "MediaPlayer.h"
#include "PlayerTestSupport.h"
#include "TestSources.h"

#include <QCoreApplication>
#include <filesystem>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <string_view>

namespace orvanta::test {

namespace {

// The leak tracer that GST_TRACERS=leaks started (see TestMain), owned by GStreamer.
GstTracer* LeaksTracer() {
    GList* tracers = gst_tracing_get_active_tracers();
    GstTracer* found = nullptr;
    for (GList* item = tracers; item != nullptr; item = item->next) {
        auto* tracer = static_cast<GstTracer*>(item->data);
        if (found == nullptr && std::string_view(G_OBJECT_TYPE_NAME(tracer)) == "GstLeaksTracer") {
            found = tracer;
        }
        gst_object_unref(tracer);
    }
    g_list_free(tracers);
    return found;
}

// GstObjects and GstMiniObjects alive right now, as the tracer counts them.
guint LiveGStreamerObjects(GstTracer* tracer) {
    GstStructure* info = nullptr;
    g_signal_emit_by_name(tracer, "get-live-objects", &info);
    const GValue* list =
        info != nullptr ? gst_structure_get_value(info, "live-objects-list") : nullptr;
    const guint count = list != nullptr ? gst_value_list_get_size(list) : G_MAXUINT;
    if (info != nullptr) {
        gst_structure_free(info);
    }
    return count;
}

std::size_t ThreadCount() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                      std::filesystem::directory_iterator{}));
}

// Load, play briefly, release: what the edit page does each time it is left and entered.
void Cycle(MediaPlayer& player, CAttribMedia& media) {
    ASSERT_EQ(player.Load(&media), 1);
    player.SetPositions(0, 0);
    player.SetFadeDuration(300);
    player.PlayWithFade(true);
    QCoreApplication::processEvents();
    player.ReleaseGraph();
    QCoreApplication::processEvents();
}

TEST(ReleaseTest, TwoHundredLoadPlayReleaseCyclesLeaveNoGStreamerObjectOrThreadBehind) {
    TempDir dir;
    CAttribMedia media(dir.Path("tone.wav"));
    WriteToneWav(media.GetPath(), 500);
    MediaPlayer player;
    NotifyWindow window(player);
    player.Init(&window, 0);
    // The first cycle loads the plug-ins and fills GStreamer's caches for good.
    Cycle(player, media);
    GstTracer* tracer = LeaksTracer();
    ASSERT_NE(tracer, nullptr) << "run with GST_TRACERS=leaks";
    const guint objectsBefore = LiveGStreamerObjects(tracer);
    ASSERT_NE(objectsBefore, G_MAXUINT);
    const std::size_t threadsBefore = ThreadCount();
    for (int cycle = 0; cycle < 200 && !HasFatalFailure(); ++cycle) {
        Cycle(player, media);
    }
    EXPECT_EQ(LiveGStreamerObjects(tracer), objectsBefore);
    // GLib lets idle pool threads linger a moment before it ends them.
    EXPECT_TRUE(PumpUntil([&] { return ThreadCount() <= threadsBefore; }, 20000))
        << ThreadCount() << " threads, " << threadsBefore << " before";
}

} // namespace

} // namespace orvanta::test
