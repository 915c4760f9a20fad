#include "TestSources.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orvanta::test {
namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliProcess {
public:
    CliProcess(const TempDir& dir, const std::vector<std::string>& arguments)
        : m_outPath(dir.Path("stdout.txt")), m_errPath(dir.Path("stderr.txt")) {
        std::vector<std::string> argv{ORVANTA_CLI_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> raw;
        for (std::string& argument : argv) {
            raw.push_back(argument.data());
        }
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&m_pid, raw[0], &actions, nullptr, raw.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    void Signal(int signal) const { ::kill(m_pid, signal); }

    CliRun Wait() const {
        CliRun run;
        int status = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status)) {
            run.exitCode = WEXITSTATUS(status);
        }
        const Bytes out = ReadBytes(m_outPath);
        const Bytes err = ReadBytes(m_errPath);
        run.out.assign(out.begin(), out.end());
        run.err.assign(err.begin(), err.end());
        return run;
    }

private:
    std::string m_outPath;
    std::string m_errPath;
    pid_t m_pid = -1;
};

CliRun RunCli(const std::vector<std::string>& arguments) {
    TempDir dir;
    return CliProcess(dir, arguments).Wait();
}

class CliUsageTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CliUsageTest, MalformedCommandLinesExitWithTwo) {
    const CliRun run = RunCli(GetParam());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("usage: orvanta-cli decode"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageTest,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"decode"},
                      std::vector<std::string>{"decode", "a.mp3"},
                      std::vector<std::string>{"decode", "a.mp3", "b.wav", "c.wav"},
                      std::vector<std::string>{"encode", "a.wav", "b.mp3"},
                      std::vector<std::string>{"decode", "--bogus", "a.mp3", "b.wav"}),
    [](const ::testing::TestParamInfo<std::vector<std::string>>& row) {
        return "Arguments" + std::to_string(row.param.size()) + "_" + std::to_string(row.index);
    });

TEST(CliTest, HelpGoesToStandardOutput) {
    const CliRun run = RunCli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("usage:"), std::string::npos);
}

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

// Ctrl-C ends the decode the way Cancel does. The source is a pipe, so the tool is surely
// still reading when the signal comes.
TEST(CliTest, InterruptCancelsWithExitCode130) {
    TempDir dir;
    const std::string fifo = dir.Path("live.raw");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CliProcess process(dir, {"decode", fifo, dir.Path("out.wav")});
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const Bytes chunk(64 * 1024, 0x11);
    ASSERT_EQ(::write(writer, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    process.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // More data lets the tool finish its block and reach the step that sees the interrupt.
    ::signal(SIGPIPE, SIG_IGN);
    for (int i = 0; i < 16; ++i) {
        if (::write(writer, chunk.data(), chunk.size()) < 0) {
            break;
        }
    }
    ::close(writer);
    const CliRun run = process.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("cancelled"), std::string::npos) << run.err;
    const Bytes out = ReadBytes(dir.Path("out.wav"));
    EXPECT_EQ(ParseWorkingWav(out).dataLength + 44, out.size());
}

} // namespace
} // namespace orvanta::test
