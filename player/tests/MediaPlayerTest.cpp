#include "MediaPlayer.h"

#include "CAttribMedia.h"
#include "PlayerTestSupport.h"
#include "TestSources.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>

namespace orvanta::test {

namespace {

class MediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { player.Init(&window, 0); }
    // As the page does when its window goes: no notification may outlive the window.
    void TearDown() override { player.ReleaseGraph(); }

    // Loads a tone of `ms` and sets the volume as the page does on "Loaded".
    int LoadTone(int ms, CAttribMedia& media) {
        WriteToneWav(media.GetPath(), ms);
        const int result = player.Load(&media);
        player.SetVolume(100);
        return result;
    }

    bool WaitUntilIdle() {
        return PumpUntil(
            [this] { return player.GetState() == "Stopped" || player.GetState() == "Completed"; });
    }

    TempDir dir;
    MediaPlayer player;
    NotifyWindow window{player};
    EventRecorder recorder{player};
};

TEST_F(MediaPlayerTest, LoadAnnouncesTheRecordAndKeepsItsPathAsGiven) {
    // Mixed case on purpose: a lower-cased path names no file here.
    CAttribMedia media(dir.Path("Tone.WAV"));
    ASSERT_EQ(LoadTone(1500, media), 1);
    EXPECT_EQ(media.GetPath(), dir.Path("Tone.WAV"));
    EXPECT_NEAR(media.GetDuration(), 1500, 1);
    ASSERT_GE(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0].name, "Loading");
    EXPECT_EQ(recorder.events[1].name, "Loaded");
    EXPECT_EQ(recorder.events[1].arg1, MediaPlayer::AddressToken(&media));
    EXPECT_EQ(recorder.events[1].arg2, MediaPlayer::AddressToken(&player));
}

TEST_F(MediaPlayerTest, FailedLoadsAnnounceLoadFailedThenStoppedAndLeaveNothingToPlay) {
    const std::string notAudio = dir.Path("notes.wav");
    WriteBytes(notAudio, Bytes(4000, 0x5A));
    for (const std::string& path : {dir.Path("missing.wav"), notAudio}) {
        SCOPED_TRACE(path);
        recorder.events.clear();
        CAttribMedia media(path);
        EXPECT_EQ(player.Load(&media), 0);
        EXPECT_EQ(recorder.Sequence(), "Loading, LoadFailed, Stopped");
        EXPECT_EQ(recorder.events.back().arg1, 0u);
        EXPECT_EQ(media.GetDuration(), 0);
        player.Play();
        player.PlayWithFade(false);
        EXPECT_EQ(recorder.events.size(), 3u);
    }
}

struct SequenceRow {
    const char* what;
    int endMs; // 0: the end of the 2000 ms file
    int fadeMs;
    bool fadeIn;
    bool answerFadeOut;
    int stopAfterPolls; // 0: let it run
    const char* expected;
};

void PrintTo(const SequenceRow& row, std::ostream* out) {
    *out << row.what;
}

class PlaybackSequenceTest : public MediaPlayerTest,
                             public ::testing::WithParamInterface<SequenceRow> {};

TEST_P(PlaybackSequenceTest, EventsComeInTheDesignedOrder) {
    const SequenceRow& row = GetParam();
    CAttribMedia media(dir.Path("tone.wav"));
    ASSERT_EQ(LoadTone(2000, media), 1);
    int polls = 0;
    recorder.onEvent = [&](const RecordedEvent& e) {
        if (e.name == "FadeOutPoint") {
            player.FadeOut(row.answerFadeOut);
        } else if (e.name == "PositionChanged" && ++polls == row.stopAfterPolls) {
            player.Stop();
        }
    };
    player.SetPositions(0, row.endMs);
    player.SetFadeDuration(row.fadeMs);
    recorder.events.clear();
    player.PlayWithFade(row.fadeIn);
    ASSERT_TRUE(WaitUntilIdle()) << player.GetState();
    // Nothing may follow the end: no tick, ramp step or second stop.
    player.Stop();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(recorder.Sequence(), row.expected);
    EXPECT_EQ(window.lastParam, 0) << "the notification carries the timer base";
    const auto end = static_cast<uint32_t>(row.endMs != 0 ? row.endMs : media.GetDuration());
    for (const RecordedEvent& e : recorder.events) {
        if (e.name == "PositionChanged" && e.arg1 != 0) { // not the rewind of a stop
            EXPECT_LE(e.arg1, end) << "played past the stop";
            EXPECT_EQ(e.arg2, end);
        }
    }
    if (row.fadeMs != 0 && row.endMs != 0 && row.endMs < row.fadeMs + 400 + 100) {
        ASSERT_GE(recorder.events.size(), 3u);
        EXPECT_EQ(recorder.events[1].name, "PositionChanged");
        EXPECT_EQ(recorder.events[2].name, "FadeOutPoint") << "armed on the first tick";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlaybackSequenceTest,
    ::testing::Values(
        SequenceRow{"no fade: completes at the stop position", 600, 0, true, true, 0,
                    "Playing, FadingEnd 31, Completed"},
        SequenceRow{"no stop position: the poll measures against the duration", 0, 0, true, true, 0,
                    "Playing, FadingEnd 31, Completed"},
        SequenceRow{"fade-in, then the fade-out near the end stops the player", 1900, 300, true,
                    true, 0,
                    "Playing, FadingStart 30, FadingIn, FadingEnd 30, FadeOutPoint, "
                    "FadingStart 31, FadingOut, FadingEnd 31, Stopped"},
        SequenceRow{"fade-out unchecked: completes at the stop position", 1900, 300, true, false, 0,
                    "Playing, FadingStart 30, FadingIn, FadingEnd 30, FadeOutPoint, "
                    "FadingEnd 31, Completed"},
        SequenceRow{"a selection shorter than the fade plus 400 ms", 1300, 1000, false, false, 0,
                    "Playing, FadeOutPoint, FadingEnd 31, Completed"},
        SequenceRow{"user stop", 1400, 0, true, true, 2, "Playing, Stopped"},
        SequenceRow{"user stop during the fade-in ends the ramp once", 1900, 500, true, true, 2,
                    "Playing, FadingStart 30, FadingIn, FadingEnd 30, Stopped"}),
    [](const ::testing::TestParamInfo<SequenceRow>& row) {
        return "Row" + std::to_string(row.index);
    });

TEST_F(MediaPlayerTest, AfterItCompletesNothingSoundsUntilItIsPlayedAgain) {
    // Every rendered byte lands in the file at once; a seek starts the file afresh.
    const std::string capture = dir.Path("capture.raw");
    setenv("ORVANTA_AUDIO_SINK",
           ("filesink buffer-mode=unbuffered sync=true location=" + capture).c_str(), 1);
    CAttribMedia media(dir.Path("tone.wav"));
    ASSERT_EQ(LoadTone(700, media), 1);
    setenv("ORVANTA_AUDIO_SINK", "fakesink sync=true", 1);
    player.SetPositions(0, 300);
    player.PlayWithFade(false);
    ASSERT_TRUE(WaitUntilIdle());
    player.SetPositions(0, 600); // as the page does before its next PlayWithFade
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(std::filesystem::file_size(capture), 0u);
    player.PlayWithFade(false);
    EXPECT_TRUE(PumpUntil([&] { return std::filesystem::file_size(capture) > 0; }));
}

TEST_F(MediaPlayerTest, ReleaseDuringAFadeEndsTheRampAndStopsEveryTimer) {
    CAttribMedia media(dir.Path("tone.wav"));
    ASSERT_EQ(LoadTone(1500, media), 1);
    player.SetPositions(0, 1400);
    player.SetFadeDuration(1000);
    player.PlayWithFade(true);
    recorder.events.clear();
    player.ReleaseGraph();
    EXPECT_EQ(recorder.Sequence(), "FadingEnd 30, Stopped");
    const std::size_t seen = recorder.events.size();
    PumpUntil([] { return false; }, 300);
    player.OnTimer(10); // a poll tick after the release
    EXPECT_EQ(recorder.events.size(), seen);
}

} // namespace

} // namespace orvanta::test
