// The player's timers and graph notifications need a Qt event loop; no display is needed. The
// graph plays into a fake sink that keeps real time, so no sound card is needed either, and
// GStreamer's leak tracer counts its live elements, pads and buses for the release test (not
// its tasks and buffers, which a streaming thread may still be dropping when it is asked).
#include <QCoreApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("ORVANTA_AUDIO_SINK", "fakesink sync=true", /*overwrite=*/1);
    setenv("GST_TRACERS", "leaks(filters=\"GstElement,GstPad,GstBus\",stack-traces-flags=none)",
           /*overwrite=*/0);
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
