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
};

TEST(VolumeMappingTest, PercentToHundredthsOfADecibel) {
    const VolumeRow rows[] = {{0, -10000}, {1, -6000}, {10, -3000}, {50, -903},
                              {100, 0},    {150, 0},   {-5, -10000}};
    for (const VolumeRow& row : rows) {
        EXPECT_EQ(MediaPlayer::VolumeToHundredthsDb(row.percent), row.hundredthsDb)
            << row.percent << " %";
    }
}

struct LinearRow {
    int32_t hundredthsDb;
    double linear;
};

TEST(VolumeMappingTest, HundredthsOfADecibelToGStreamersLinearGain) {
    const LinearRow rows[] = {{0, 1.0}, {-903, 0.354}, {-2000, 0.1}, {-6000, 0.001}, {-10000, 0.0}};
    for (const LinearRow& row : rows) {
        EXPECT_NEAR(MediaGraph::LinearVolume(row.hundredthsDb), row.linear, 0.0005)
            << row.hundredthsDb;
    }
}

// The ramps are driven tick by tick here, without waiting for their timers.
struct RampRow {
    const char* what;
    int fadeMs;
    int baseVolume;
    bool fadeIn;
    std::vector<int> volumes; // applied on ticks 1..N
    std::vector<std::string> endEvents;
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
                {"FadingEnd 30"}},
        RampRow{"2000 ms fade-out stops the player",
                2000,
                100,
                false,
                {95, 90, 85, 80, 75, 70, 65, 60, 55, 50, 45, 40, 35, 30, 25, 20, 15, 10, 5, 0},
                {"FadingEnd 31", "Stopped"}},
        RampRow{"a base of 50 % truncates", 300, 50, true, {16, 33, 50}, {"FadingEnd 30"}},
        RampRow{"a base above 100 % is applied as 100 %",
                300,
                150,
                true,
                {50, 100, 100},
                {"FadingEnd 30"}}),
    [](const ::testing::TestParamInfo<RampRow>& row) { return "Row" + std::to_string(row.index); });

TEST(FadeTest, WithoutAFadeLengthPlayWithFadePlaysAtFullVolumeAndNeverArmsTheFadeOut) {
    TempDir dir;
    MediaPlayer player;
    NotifyWindow window(player);
    player.Init(&window, 0);
    EventRecorder recorder(player);
    CAttribMedia media(dir.Path("tone.wav"));
    WriteToneWav(media.GetPath(), 500);
    ASSERT_EQ(player.Load(&media), 1);
    player.SetVolume(40);
    player.SetPositions(0, 0);
    player.SetFadeDuration(0);
    player.PlayWithFade(true);
    EXPECT_EQ(player.GetAppliedVolume(), 100);
    player.FadeOut(true);
    ASSERT_TRUE(PumpUntil([&] { return player.GetState() == "Completed"; }));
    EXPECT_EQ(recorder.Sequence(), (std::vector<std::string>{"Loading", "Loaded", "Playing",
                                                             "FadingEnd 31", "Completed"}));
    player.ReleaseGraph();
}

} // namespace

} // namespace orvanta::test
