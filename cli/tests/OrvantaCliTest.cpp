#include "CliRunner.h"
#include "TestSources.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace orvanta::test {
namespace {

class CliUsageTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CliUsageTest, MalformedCommandLinesExitWithTwo) {
    const CliRun run = RunCli(GetParam());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("usage: orvanta-cli"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageTest,
    ::testing::Values(
        std::vector<std::string>{}, std::vector<std::string>{"decode"},
        std::vector<std::string>{"decode", "a.mp3"},
        std::vector<std::string>{"decode", "a.mp3", "b.wav", "c.wav"},
        std::vector<std::string>{"encode", "a.wav"},
        std::vector<std::string>{"decode", "--bogus", "a.mp3", "b.wav"},
        std::vector<std::string>{"frobnicate", "a.mp3"},
        std::vector<std::string>{"decode", "--stereo", "a.mp3", "b.wav"},
        std::vector<std::string>{"cut", "w.wav", "r.wav", "1000"},
        std::vector<std::string>{"cut", "w.wav", "r.wav", "5000", "1000"},
        std::vector<std::string>{"cut", "w.wav", "r.wav", "0", "1s"},
        std::vector<std::string>{"cut", "w.wav", "r.wav", "0", "9000", "--amplify", "200"},
        std::vector<std::string>{"encode", "r.wav", "o.mp3", "--rate", "8000"},
        std::vector<std::string>{"encode", "r.wav", "o.mp3", "--rate"},
        std::vector<std::string>{"make", "s.mp3", "--quality", "ultra"},
        std::vector<std::string>{"make", "s.mp3", "--amplify", "40"},
        std::vector<std::string>{"make", "s.mp3", "--start", "5000", "--end", "100"},
        // Values that do not fit the 32-bit milliseconds the engine counts in.
        std::vector<std::string>{"cut", "w.wav", "r.wav", "0", "9000", "--fade", "99999999999"},
        std::vector<std::string>{"cut", "w.wav", "r.wav", "0", "4294967296"},
        std::vector<std::string>{"cut", "w.wav", "r.wav", "0", "9000", "--fade", "-1"},
        std::vector<std::string>{"make", "s.mp3", "--end", "2147483648"},
        std::vector<std::string>{"make", "s.mp3", "--start", "-1"}),
    [](const ::testing::TestParamInfo<std::vector<std::string>>& row) {
        return "Arguments" + std::to_string(row.param.size()) + "_" + std::to_string(row.index);
    });

TEST(CliTest, HelpGoesToStandardOutputAndNamesEveryCommand) {
    const CliRun run = RunCli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* command : {"decode", "peaks", "cut", "encode", "make"}) {
        EXPECT_NE(run.out.find(std::string("orvanta-cli ") + command), std::string::npos)
            << command;
    }
}

struct CommandHelp {
    const char* command;
    std::vector<const char*> options;
};

class CliCommandHelpTest : public ::testing::TestWithParam<CommandHelp> {};

TEST_P(CliCommandHelpTest, DescribesEveryOption) {
    const CliRun run = RunCli({GetParam().command, "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.find(std::string("usage: orvanta-cli ") + GetParam().command), 0u) << run.out;
    for (const char* option : GetParam().options) {
        // Once in the usage line, once where it is explained.
        const std::size_t first = run.out.find(option);
        ASSERT_NE(first, std::string::npos) << option;
        EXPECT_NE(run.out.find(option, first + 1), std::string::npos) << option;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliCommandHelpTest,
    ::testing::Values(CommandHelp{"decode", {"--peaks"}}, CommandHelp{"peaks", {}},
                      CommandHelp{"cut", {"--fade", "--amplify"}},
                      CommandHelp{"encode", {"--stereo", "--rate"}},
                      CommandHelp{"make",
                                  {"--start", "--end", "--amplify", "--stereo", "--quality"}}),
    [](const ::testing::TestParamInfo<CommandHelp>& row) {
        return std::string(row.param.command);
    });

TEST(CliTest, DecodesQuietlyWhenStderrIsNoTerminal) {
    TempDir dir;
    const PcmSignal signal{2, 44100, 16, 5000};
    WriteBytes(dir.Path("in.wav"), MakeWav(signal));
    const CliRun run = RunCli({"decode", dir.Path("in.wav"), dir.Path("out.wav")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ParseWorkingWav(ReadBytes(dir.Path("out.wav"))).samples,
              ExpectedWorkingSamples(signal, true));
}

// decode --peaks writes the peak file `peaks` would read from the WAV, and never over the
// source or the WAV it writes.
TEST(CliTest, DecodeWritesThePeakFileOfItsWavButNeverOverItsFiles) {
    TempDir dir;
    const Bytes source = MakeWav(PcmSignal{1, 22050, 16, 3001});
    WriteBytes(dir.Path("in.wav"), source);
    const CliRun run =
        RunCli({"decode", dir.Path("in.wav"), dir.Path("out.wav"), "--peaks", dir.Path("o.wfp")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(RunCli({"peaks", dir.Path("out.wav"), dir.Path("read.wfp")}).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir.Path("o.wfp")), ReadBytes(dir.Path("read.wfp")));

    const Bytes wav = ReadBytes(dir.Path("out.wav"));
    for (const auto& [output, peaks] : {std::pair{"new.wav", "in.wav"}, {"out.wav", "out.wav"}}) {
        const CliRun refused =
            RunCli({"decode", dir.Path("in.wav"), dir.Path(output), "--peaks", dir.Path(peaks)});
        EXPECT_EQ(refused.exitCode, 1) << peaks;
    }
    EXPECT_EQ(ReadBytes(dir.Path("in.wav")), source);
    EXPECT_EQ(ReadBytes(dir.Path("out.wav")), wav);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.wav")));
}

TEST(CliTest, VerboseShowsTheEngineLog) {
    TempDir dir;
    WriteBytes(dir.Path("in.wav"), MakeWav(PcmSignal{1, 22050, 8, 500}));
    const CliRun run = RunCli({"decode", "--verbose", dir.Path("in.wav"), dir.Path("out.wav")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("input:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Microsoft WAVE"), std::string::npos) << run.err;
}

struct FailureCase {
    const char* name;
    const char* fileName;
    bool create;
    const char* reason;
};

class CliFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailureTest, OneLineNamesTheFileAndTheReason) {
    TempDir dir;
    const std::string source = dir.Path(GetParam().fileName);
    if (GetParam().create) {
        WriteBytes(source, Bytes(4000, 'x'));
    }
    const CliRun run = RunCli({"decode", source, dir.Path("out.wav")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.find("orvanta-cli: " + source + ": "), 0u) << run.err;
    EXPECT_NE(run.err.find(GetParam().reason), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("out.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CliFailureTest,
    ::testing::Values(FailureCase{"Missing", "absent.wav", false, "Could not find"},
                      FailureCase{"Vorbis", "song.ogg", true, "vorbis"},
                      FailureCase{"NotMpeg", "song.mp3", true, "Error reading headers"}),
    [](const ::testing::TestParamInfo<FailureCase>& row) { return std::string(row.param.name); });

// cut and peaks read the working WAV byte for byte; a WAV with other chunks (as other tools
// write) is refused with a pointer to the command that makes a working WAV of it.
TEST(CliTest, CutAndPeaksSendOtherWavsToDecodeFirst) {
    TempDir dir;
    WriteBytes(dir.Path("listed.wav"),
               MakeWav(PcmSignal{2, 44100, 16, 5000}, WavOptions{.listChunksBeforeData = 1}));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"peaks", dir.Path("listed.wav"), dir.Path("o.wfp")},
          std::vector<std::string>{"cut", dir.Path("listed.wav"), dir.Path("r.wav"), "0",
                                   "1000"}}) {
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments[0];
        EXPECT_NE(run.err.find("orvanta-cli decode"), std::string::npos) << run.err;
    }
    EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{"listed.wav"}));
}

struct SignalCase {
    const char* name;
    std::vector<int> signals;
    std::set<int> exitCodes;
};

class CliSignalTest : public ::testing::TestWithParam<SignalCase> {};

// Ctrl-C, SIGTERM and SIGHUP end the decode the way Cancel does, even while it waits on a
// pipe; a second signal ends it at once. Either way the unfinished WAV, its peak file and their
// temporary files are gone and the exit status names the signal that ended it.
TEST_P(CliSignalTest, StopSignalEndsCleanWithItsExitStatus) {
    const SignalCase& c = GetParam();
    TempDir dir;
    const CliRun run = RunInterruptedOnFifo(
        dir, {"decode", dir.Path("live.raw"), dir.Path("out.wav"), "--peaks", dir.Path("out.wfp")},
        dir.Path("live.raw"), "", c.signals);
    EXPECT_EQ(c.exitCodes.count(run.exitCode), 1u) << run.exitCode << ": " << run.err;
    EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{"live.raw", "stdout.txt", "stderr.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Signals, CliSignalTest,
    ::testing::Values(SignalCase{"CtrlC", {SIGINT}, {130}}, SignalCase{"Term", {SIGTERM}, {143}},
                      SignalCase{"Hangup", {SIGHUP}, {129}},
                      // Stopped while both come, so the second finds the first pending; the
                      // one the kernel hands over last names the status.
                      SignalCase{"SecondSignal", {SIGSTOP, SIGINT, SIGTERM, SIGCONT}, {130, 143}}),
    [](const ::testing::TestParamInfo<SignalCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvanta::test
