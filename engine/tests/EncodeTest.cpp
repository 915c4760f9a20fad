#include "EngineHarness.h"
#include "TestSources.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

struct EncodeCase {
    const char* name;
    int channels;
    int sampleRate;
    uint32_t frames;
    bool stereo;
    int outSampleRate;
    const char* lameOptions; // what the lame tool needs for the same result
};

class EncodeParityTest : public ::testing::TestWithParam<EncodeCase> {};

// Both use LAME's defaults for everything but mode and rate, so the files must be identical,
// tag frame included.
TEST_P(EncodeParityTest, Mp3EqualsTheLameToolsOutput) {
    const EncodeCase& c = GetParam();
    TempDir dir;
    const std::string ringtone = dir.Path("ring.wav");
    WriteBytes(ringtone, MakeWav16(MusicSamples(c.channels, c.sampleRate, c.frames), c.channels,
                                   c.sampleRate));
    const DecodeOutcome outcome =
        EncodeFile(ringtone, dir.Path("ours.mp3"), c.stereo, c.outSampleRate);
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    EXPECT_EQ(outcome.cancelled, 0);
    EXPECT_EQ(outcome.progress.encoding.total, c.frames);
    EXPECT_EQ(outcome.progress.encoding.positions.back(), c.frames);
    EXPECT_EQ(outcome.progress.encoding.endCalls.size(), 1u);

    ASSERT_EQ(RunShell(std::string("lame --quiet --noreplaygain ") + c.lameOptions + " " +
                       Quoted(ringtone) + " " + Quoted(dir.Path("lame.mp3"))),
              0);
    const Bytes ours = ReadBytes(dir.Path("ours.mp3"));
    EXPECT_FALSE(ours.empty());
    EXPECT_TRUE(ours == ReadBytes(dir.Path("lame.mp3")));

    // What a player sees: the chosen mode and rate.
    const DecodeOutcome decoded = DecodeFile(dir.Path("ours.mp3"), dir.Path("check.wav"));
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    const WorkingWav check = ParseWorkingWav(ReadBytes(dir.Path("check.wav")));
    EXPECT_EQ(check.channels, c.stereo && c.channels == 2 ? 2 : 1);
    EXPECT_EQ(check.sampleRate, static_cast<uint32_t>(c.outSampleRate));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EncodeParityTest,
    ::testing::Values(
        EncodeCase{"StereoWavToMono", 2, 44100, 3 * 44100, false, 44100, "-m m"},
        EncodeCase{"StereoKept", 2, 44100, 3 * 44100, true, 44100, ""},
        EncodeCase{"MediumQuality", 2, 44100, 3 * 44100, false, 22050, "-m m --resample 22.05"},
        EncodeCase{"LowQuality", 2, 44100, 3 * 44100, false, 11025, "-m m --resample 11.025"},
        EncodeCase{"LowQualityStereo", 2, 44100, 2 * 44100, true, 11025, "--resample 11.025"},
        EncodeCase{"MonoSource", 1, 44100, 2 * 44100, false, 44100, "-m m"},
        EncodeCase{"SourceAt22050Upsampled", 2, 22050, 2 * 22050, false, 44100,
                   "-m m --resample 44.1"},
        EncodeCase{"ShorterThanABlock", 2, 44100, 500, false, 44100, "-m m"}),
    [](const ::testing::TestParamInfo<EncodeCase>& row) { return std::string(row.param.name); });

TEST(EncodeTest, EmptyRingtoneGivesAnMp3WithARangeOfZero) {
    TempDir dir;
    WriteBytes(dir.Path("ring.wav"), MakeWav16({}, 2, 44100));
    const DecodeOutcome outcome =
        EncodeFile(dir.Path("ring.wav"), dir.Path("out.mp3"), false, 44100);
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    EXPECT_EQ(outcome.progress.encoding.total, 0u);
    EXPECT_TRUE(std::filesystem::exists(dir.Path("out.mp3")));
}

// A cancelled MP3 would pass for the whole selection: none is left, and the phase still ends.
TEST(EncodeTest, CancelLeavesNoMp3) {
    TempDir dir;
    WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(2, 44100, 10 * 44100), 2, 44100));
    const DecodeOutcome outcome =
        EncodeFile(dir.Path("ring.wav"), dir.Path("cut.mp3"), false, 44100, 100);
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    EXPECT_EQ(outcome.cancelled, 1);
    EXPECT_EQ(outcome.progress.encoding.positions.size(), 100u);
    EXPECT_EQ(outcome.progress.encoding.endCalls.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("cut.mp3")));
}

TEST(EncodeTest, FailureToStartEndsTheEncodingPhase) {
    TempDir dir;
    WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(2, 44100, 4410), 2, 44100));
    const std::vector<std::pair<std::string, std::string>> rows{
        {dir.Path("absent.wav"), dir.Path("a.mp3")},
        {dir.Path("ring.wav"), dir.Path("missing/a.mp3")},
        {dir.Path("ring.wav"), dir.Path("ring.wav")}};
    for (const auto& [wav, mp3] : rows) {
        const DecodeOutcome outcome = EncodeFile(wav, mp3, false, 44100);
        EXPECT_FALSE(outcome.ok) << wav << " -> " << mp3;
        EXPECT_FALSE(outcome.errors.empty());
        EXPECT_EQ(outcome.progress.encoding.endCalls.size(), 1u)
            << "no progress window may outlive a failed start";
    }
    EXPECT_TRUE(std::filesystem::exists(dir.Path("ring.wav")));
}

} // namespace
} // namespace orvanta::test
