#include "CAttribMedia.h"
#include "MediaGraph.h"
#include "MediaPlayer.h"
#include "PlayerTestSupport.h"
#include "TestSources.h"

#include <gtest/gtest.h>
#include <ostream>

namespace orvanta::test {

namespace {

struct VolumeRow {
    int percent;
    int32_t hundredthsDb;
    double linear; // what GStreamer's volume element gets
};

TEST(VolumeMappingTest, PercentToHundredthsOfADecibelToLinearGain) {
    const VolumeRow rows[] = {{0, -10000, 0.0},  {1, -6000, 0.001}, {10, -3000, 0.0316},
                              {50, -903, 0.354}, {100, 0, 1.0},     {150, 0, 1.0},
                              {-5, -10000, 0.0}};
    for (const VolumeRow& row : rows) {
        const int32_t hundredthsDb = MediaPlayer::VolumeToHundredthsDb(row.percent);
        EXPECT_EQ(hundredthsDb, row.hundredthsDb) << row.percent << " %";
        EXPECT_NEAR(MediaGraph::LinearVolume(hundredthsDb), row.linear, 0.0005) << row.percent;
    }
}

// The ramps are driven tick by tick here, without waiting for their timers.
struct RampRow {
    const char* what;
    int fadeMs;
    int baseVolume;
    bool fadeIn;
    std::vector<int> volumes; // applied on ticks 1..N
    const char* endEvents;
};

void PrintTo(const RampRow& row, std::ostream* out) {
    *out << row.what;
}

class RampTest : public ::testing::TestWithParam<RampRow> {};

TEST_P(RampTest, EachTickAppliesOneStepAndTheTickAfterTheLastEndsTheRamp) {
    const RampRow& row = GetParam();
    TempDir dir;
    MediaPlayer player;
    NotifyWindow window(player);
    player.Init(&window, 0);
    EventRecorder recorder(player);
    CAttribMedia media(dir.Path("tone.wav"));
    WriteToneWav(media.GetPath(), 1000);
    ASSERT_EQ(player.Load(&media), 1);
    player.SetVolume(row.baseVolume);
    player.SetFadeDuration(row.fadeMs);
    player.PlayWithFade(row.fadeIn);
    if (!row.fadeIn) {
        player.FadeOut(true);
    }
    const int timerId = row.fadeIn ? MediaPlayer::kFadeInTimer : MediaPlayer::kFadeOutTimer;
    std::vector<int> applied;
    for (std::size_t tick = 0; tick < row.volumes.size(); ++tick) {
        player.OnTimer(timerId);
        applied.push_back(player.GetAppliedVolume());
    }
    EXPECT_EQ(applied, row.volumes);
    recorder.events.clear();
    player.OnTimer(timerId);
    EXPECT_EQ(recorder.Sequence(), row.endEvents);
    player.ReleaseGraph();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RampTest,
    ::testing::Values(
        RampRow{"2000 ms fade-in",
                2000,
                100,
                true,
                {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100},
                "FadingEnd 30"},
        RampRow{"2000 ms fade-out stops the player",
                2000,
                100,
                false,
                {95, 90, 85, 80, 75, 70, 65, 60, 55, 50, 45, 40, 35, 30, 25, 20, 15, 10, 5, 0},
                "FadingEnd 31, Stopped"},
        RampRow{"a base of 50 % truncates", 300, 50, true, {16, 33, 50}, "FadingEnd 30"},
        RampRow{"a base above 100 % is applied as 100 %",
                300,
                150,
                true,
                {50, 100, 100},
                "FadingEnd 30"}),
    [](const ::testing::TestParamInfo<RampRow>& row) { return "Row" + std::to_string(row.index); });

} // namespace

} // namespace orvanta::test
