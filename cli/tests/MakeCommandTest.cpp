#include "CliRunner.h"
#include "EngineHarness.h"
#include "TestSources.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

namespace fs = std::filesystem;

bool IsEmptyFolder(const std::string& path) {
    return fs::is_empty(path);
}

// The MP3 as a player sees it.
WorkingWav DecodeMp3(const std::string& mp3, const TempDir& dir) {
    const DecodeOutcome outcome = DecodeFile(mp3, dir.Path("check.wav"));
    EXPECT_TRUE(outcome.ok) << outcome.errors;
    return outcome.ok ? ParseWorkingWav(ReadBytes(dir.Path("check.wav"))) : WorkingWav{};
}

struct MakeCase {
    const char* name;
    const char* fileName;
    std::function<Bytes()> build;
    std::vector<std::string> options;
    int expectedChannels;
    uint32_t expectedRate;
    uint32_t expectedFrames; // sample frames the MP3 decodes to
    // LAME's resampler shifts the length a little; at the source's rate it is exact.
    uint32_t resamplingSlack = 0;
};

class MakeCommandTest : public ::testing::TestWithParam<MakeCase> {};

// The whole chain in one command: the MP3 lands beside the source, named after it, and the
// private temporary folder leaves nothing behind.
TEST_P(MakeCommandTest, WritesTheRingtoneBesideTheSourceAndCleansUp) {
    const MakeCase& c = GetParam();
    TempDir dir;
    TempDir tmp;
    fs::create_directory(dir.Path("Music Folder"));
    const std::string source = dir.Path("Music Folder/") + c.fileName;
    const Bytes input = c.build();
    WriteBytes(source, input);
    std::vector<std::string> arguments{"make", source};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());

    const CliRun run = RunCli(arguments, tmp.Path(""));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string stem = fs::path(c.fileName).stem().string();
    const std::string mp3 = dir.Path("Music Folder/") + stem + "_ringtone.mp3";
    EXPECT_EQ(run.out, mp3 + "\n");
    EXPECT_TRUE(IsEmptyFolder(tmp.Path(""))) << "temporary files left behind";
    EXPECT_EQ(ReadBytes(source), input) << "the source must never change";

    const WorkingWav ringtone = DecodeMp3(mp3, dir);
    EXPECT_EQ(ringtone.channels, c.expectedChannels);
    EXPECT_EQ(ringtone.sampleRate, c.expectedRate);
    const std::size_t frames = ringtone.samples.size() / std::max<uint16_t>(ringtone.channels, 1);
    EXPECT_GE(frames, c.expectedFrames);
    EXPECT_LE(frames, c.expectedFrames + c.resamplingSlack);
}

Bytes Mp3Seconds(int seconds) {
    return EncodeMp3(MusicSamples(2, 44100, static_cast<uint32_t>(seconds) * 44100), 2, 44100, 128);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MakeCommandTest,
    ::testing::Values(MakeCase{"Mp3WithDefaults",
                               "Summer Hit.MP3",
                               [] { return Mp3Seconds(25); },
                               {},
                               1,
                               44100,
                               20 * 44100},
                      MakeCase{
                          "WavShorterThanTwentySeconds",
                          "Old Tune.wav",
                          [] { return MakeWav16(MusicSamples(2, 44100, 5 * 44100), 2, 44100); },
                          {},
                          1,
                          44100,
                          5 * 44100},
                      MakeCase{"AiffStereoLowQuality",
                               "Voice Memo.aif",
                               [] {
                                   return MakeAiff(PcmSignal{2, 44100, 16, 6 * 44100});
                               },
                               {"--stereo", "--quality", "low", "--start", "1000", "--end", "4000"},
                               2,
                               11025,
                               3 * 11025},
                      MakeCase{"MediumQualityAmplified",
                               "track.mp3",
                               [] { return Mp3Seconds(8); },
                               {"--quality", "medium", "--amplify", "150", "--end", "6000"},
                               1,
                               22050,
                               6 * 22050,
                               576}),
    [](const ::testing::TestParamInfo<MakeCase>& row) { return std::string(row.param.name); });

// make decodes only up to the selection's end (and the zero-crossing search's reach): its
// ringtone must be byte for byte the one the whole decode, the cut and the encode give.
TEST(MakeChainTest, RingtoneEqualsTheStepByStepChain) {
    const struct {
        const char* name;
        const char* lameOptions; // nullptr: the WAV is the source
        std::string start;
        std::string end;
        bool snap;
    } cases[] = {
        {"MP3 CBR", "-b 128", "0", "20000", false},
        {"MP3 VBR, snapped", "-V 4", "1500", "6007", true},
        {"WAV, snapped at the source's end", nullptr, "9000", "21996", true},
    };
    TempDir dir;
    const std::string wav = dir.Path("song.wav");
    WriteBytes(wav, MakeWav16(MusicSamples(2, 44100, 22 * 44100), 2, 44100));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = c.lameOptions != nullptr ? dir.Path("song.mp3") : wav;
        if (c.lameOptions != nullptr) {
            ASSERT_EQ(RunShell(std::string("lame --quiet ") + c.lameOptions + " '" + wav + "' '" +
                               source + "'"),
                      0);
        }
        std::vector<std::string> make{"make", source, "--start", c.start, "--end", c.end};
        std::vector<std::string> cut{"cut", dir.Path("work.wav"), dir.Path("ring.wav"), c.start,
                                     c.end};
        if (c.snap) {
            make.emplace_back("--snap");
            cut.emplace_back("--snap");
        }
        const CliRun made = RunCli(make);
        ASSERT_EQ(made.exitCode, 0) << made.err;
        ASSERT_EQ(RunCli({"decode", source, dir.Path("work.wav")}).exitCode, 0);
        ASSERT_EQ(RunCli(cut).exitCode, 0);
        ASSERT_EQ(RunCli({"encode", dir.Path("ring.wav"), dir.Path("step.mp3")}).exitCode, 0);
        EXPECT_EQ(ReadBytes(made.out.substr(0, made.out.find('\n'))),
                  ReadBytes(dir.Path("step.mp3")));
    }
}

TEST(MakeCommandFailureTest, FailureLeavesNoTemporaryFilesAndNoMp3) {
    TempDir dir;
    TempDir tmp;
    WriteBytes(dir.Path("song.ogg"), Bytes(4000, 'x'));
    WriteBytes(dir.Path("short.wav"), MakeWav16(MusicSamples(1, 8000, 8000), 1, 8000));
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows{
        {{"make", dir.Path("song.ogg")}, "vorbis"},
        {{"make", dir.Path("absent.mp3")}, "Could not find"},
        {{"make", dir.Path("short.wav"), "--start", "5000"}, "holds less than"}};
    for (const auto& [arguments, reason] : rows) {
        const CliRun run = RunCli(arguments, tmp.Path(""));
        EXPECT_EQ(run.exitCode, 1) << arguments[1];
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_TRUE(IsEmptyFolder(tmp.Path(""))) << arguments[1];
    }
    EXPECT_FALSE(fs::exists(dir.Path("song_ringtone.mp3")));
    EXPECT_FALSE(fs::exists(dir.Path("short_ringtone.mp3")));
}

// Ctrl-C while the source still streams in: exit 130 and the private folder is gone.
TEST(MakeCommandFailureTest, InterruptLeavesNoTemporaryFiles) {
    TempDir dir;
    TempDir tmp;
    const std::string fifo = dir.Path("live.raw");
    const CliRun run = RunInterruptedOnFifo(dir, {"make", fifo}, fifo, tmp.Path(""));
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_TRUE(IsEmptyFolder(tmp.Path("")));
    EXPECT_FALSE(fs::exists(dir.Path("live_ringtone.mp3")));
}

// A second signal ends make at once, from inside the signal handler: the unfinished working
// WAV and the private folder must go with it all the same. The tool is stopped while both
// signals are sent, so both are pending when it resumes and the second finds the first.
TEST(MakeCommandFailureTest, SecondSignalLeavesNoTemporaryFiles) {
    TempDir dir;
    TempDir tmp;
    const std::string fifo = dir.Path("live.raw");
    const CliRun run = RunInterruptedOnFifo(dir, {"make", fifo}, fifo, tmp.Path(""),
                                            {SIGSTOP, SIGINT, SIGTERM, SIGCONT});
    // Which of the two the kernel hands over last decides the status.
    EXPECT_TRUE(run.exitCode == 128 + SIGINT || run.exitCode == 128 + SIGTERM) << run.exitCode;
    EXPECT_EQ(run.err.find("cancelled"), std::string::npos) << "the tool did not run on";
    EXPECT_TRUE(IsEmptyFolder(tmp.Path("")));
    EXPECT_FALSE(fs::exists(dir.Path("live_ringtone.mp3")));
}

} // namespace
} // namespace orvanta::test
