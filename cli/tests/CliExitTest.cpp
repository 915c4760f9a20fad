#include "CliRunner.h"
#include "TestSources.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace orvanta::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The user's folder and the tool's $TMPDIR, which must both end up holding no leftovers.
struct Scene {
    TempDir dir;
    TempDir tmp;
    std::string Path(const std::string& name) const { return dir.Path(name); }
    CliRun Run(const std::vector<std::string>& arguments) const {
        return RunCli(arguments, tmp.Path(""));
    }
};

Bytes Song(int seconds) {
    return MakeWav16(MusicSamples(2, 44100, static_cast<uint32_t>(seconds) * 44100), 2, 44100);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The file `name` inside make's private folder, or "" while there is no such folder.
std::string InPrivateFolder(const Scene& s, const std::string& name) {
    for (const auto& entry : fs::directory_iterator(s.tmp.Path(""))) {
        return (entry.path() / name).string();
    }
    return "";
}

bool HoldsPartFile(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".part") {
            return true;
        }
    }
    return false;
}

// Two Ctrl-C's in one phase of make, the second once the clean-up after the first has begun
// (the working WAV is going, or the folder is emptied before it ever came). The phase: the
// first of `present` exists and `absent` does not yet.
CliRun DoubleCtrlCIn(Scene& s, const char* present, const char* absent) {
    WriteBytes(s.Path("song.wav"), Song(30));
    const CliProcess tool(s.dir, {"make", s.Path("song.wav")}, s.tmp.Path(""));
    const auto exists = [&](const char* name) {
        const std::string path = InPrivateFolder(s, name);
        return !path.empty() && fs::exists(path);
    };
    const auto inPhase = [&] {
        return !InPrivateFolder(s, "").empty() && (*present == '\0' || exists(present)) &&
               !exists(absent);
    };
    EXPECT_TRUE(tool.RunUntil(inPhase)) << "never in the phase before " << absent;
    WriteBytes(InPrivateFolder(s, "other"), {1}); // whatever else the folder holds goes too
    tool.Signal(SIGINT);
    const auto cleaningUp = [&] {
        const std::string folder = InPrivateFolder(s, "");
        return !folder.empty() && !exists("song.wav") && !HoldsPartFile(folder);
    };
    if (tool.RunUntil(cleaningUp)) {
        tool.Signal(SIGINT);
    }
    tool.Signal(SIGCONT);
    return tool.Wait();
}

// `decode NAME out.wav`, NAME first written with `bytes` when there are any.
CliRun DecodeOf(const Scene& s, const std::string& name, const Bytes& bytes = {}) {
    if (!bytes.empty()) {
        WriteBytes(s.Path(name), bytes);
    }
    return s.Run({"decode", s.Path(name), s.Path("out.wav")});
}

CliRun CtrlCAfter(const CliProcess& tool, const std::string& errPath, const char* shown) {
    for (int wait = 0; wait < 1000; ++wait) {
        const Bytes err = ReadBytes(errPath);
        if (std::string(err.begin(), err.end()).find(shown) != std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Well inside the sink's first buffer, which holds the graph for 1.5 s.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    tool.Signal(SIGINT);
    return tool.Wait();
}

struct ExitRow {
    const char* what;
    std::function<CliRun(Scene&)> run;
    std::set<int> exitCodes;
    std::string message; // on stderr
};

void PrintTo(const ExitRow& row, std::ostream* out) {
    *out << row.what;
}

class CliExitTest : public ::testing::TestWithParam<ExitRow> {};

// However the tool ends, it says why and leaves neither its private folder nor a part file.
TEST_P(CliExitTest, EndsAsItShouldAndLeavesNothingBehind) {
    const ExitRow& row = GetParam();
    Scene scene;
    const CliRun run = row.run(scene);
    EXPECT_EQ(row.exitCodes.count(run.exitCode), 1u) << run.exitCode << ": " << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(scene.tmp.Path(""))) << "a private folder was left";
    EXPECT_FALSE(HoldsPartFile(scene.Path(""))) << "a part file was left";
}

const std::vector<ExitRow> kRows{
    {"Ctrl-C while the preview loads",
     [](Scene& s) {
         WriteBytes(s.Path("song.wav"), Song(2));
         setenv("ORVANTA_AUDIO_SINK", "identity sleep-time=1500000 ! fakesink", /*overwrite=*/1);
         const CliProcess tool(s.dir, {"play", "--verbose", s.Path("song.wav")});
         return CtrlCAfter(tool, s.Path("stderr.txt"), "Loading");
     },
     {130},
     "cancelled"},
    {"endless zeros from a device end by themselves",
     [](Scene& s) {
         fs::create_symlink("/dev/zero", s.Path("zero.mp3"));
         const Clock::time_point start = Clock::now();
         const CliRun run = DecodeOf(s, "zero.mp3");
         EXPECT_LT(SecondsSince(start), 10.0);
         return run;
     },
     {1},
     "Error reading headers"},
    {"a file of zeros ends at the first Ctrl-C",
     [](Scene& s) {
         WriteBytes(s.Path("zeros.mp3"), {});
         fs::resize_file(s.Path("zeros.mp3"), uint64_t{4} << 30); // sparse: searched for minutes
         const CliProcess tool(s.dir, {"decode", s.Path("zeros.mp3"), s.Path("out.wav")});
         std::this_thread::sleep_for(std::chrono::milliseconds(300));
         tool.Signal(SIGINT);
         const Clock::time_point signalled = Clock::now();
         const CliRun run = tool.Wait();
         EXPECT_LT(SecondsSince(signalled), 1.0);
         return run;
     },
     {130},
     "cancelled"},
    {"double Ctrl-C while decoding",
     [](Scene& s) { return DoubleCtrlCIn(s, "", "song.wav"); },
     {130},
     ""},
    {"double Ctrl-C while cutting",
     [](Scene& s) { return DoubleCtrlCIn(s, "song.wav", "song_ringtone.wav"); },
     {130},
     ""},
    {"double Ctrl-C while encoding",
     [](Scene& s) { return DoubleCtrlCIn(s, "song_ringtone.wav", "none"); },
     {130},
     ""},
    {"the reader of --verbose goes away",
     [](Scene& s) {
         WriteBytes(s.Path("song.wav"), Song(25));
         const int status = RunShell(
             "TMPDIR=" + s.tmp.Path("") + " bash -c '" ORVANTA_CLI_PATH " make --verbose " +
             s.Path("song.wav") + " 2>&1 | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}'");
         EXPECT_TRUE(fs::exists(s.Path("song_ringtone.mp3")));
         return CliRun{status, "", ""};
     },
     {0},
     ""},
    {"a file-size limit",
     [](Scene& s) {
         WriteBytes(s.Path("song.wav"), Song(3));
         const int status =
             RunShell("ulimit -f 100; exec " ORVANTA_CLI_PATH " decode " + s.Path("song.wav") +
                      " " + s.Path("out.wav") + " 2>" + s.Path("err.txt"));
         const Bytes err = ReadBytes(s.Path("err.txt"));
         EXPECT_FALSE(fs::exists(s.Path("out.wav")));
         return CliRun{status, "", std::string(err.begin(), err.end())};
     },
     {1},
     "Error writing output file"},
    {"more than a WAV holds",
     [](Scene& s) {
         WriteBytes(s.Path("huge.raw"), {});
         fs::resize_file(s.Path("huge.raw"), (uint64_t{4} << 30) + 4096); // sparse
         return DecodeOf(s, "huge.raw");
     },
     {1},
     "larger than a WAV file can hold (4 GiB)"},
    {"a chunk after the samples is no audio",
     [](Scene& s) {
         const std::vector<int16_t> samples = MusicSamples(2, 44100, 44100);
         Bytes wav = MakeWav16(samples, 2, 44100);
         const Bytes list{'L', 'I', 'S', 'T', 8,    0,    0,    0,
                          'I', 'N', 'F', 'O', 0x7F, 0x7F, 0x7F, 0x7F};
         wav.insert(wav.end(), list.begin(), list.end());
         WriteBytes(s.Path("work.wav"), wav);
         const CliRun run =
             s.Run({"cut", s.Path("work.wav"), s.Path("ring.wav"), "0", "5000", "--fade", "0"});
         EXPECT_EQ(ParseWorkingWav(ReadBytes(s.Path("ring.wav"))).samples, samples);
         EXPECT_EQ(s.Run({"peaks", s.Path("work.wav"), s.Path("work.wfp")}).exitCode, 0);
         EXPECT_EQ(ReadBytes(s.Path("work.wfp")).size(), 4u + (44100 + 127) / 128 * 4);
         return run;
     },
     {0},
     ""},
    {"a replaced output keeps its mode",
     [](Scene& s) {
         WriteBytes(s.Path("song.wav"), Song(1));
         WriteBytes(s.Path("out.wav"), {1});
         fs::permissions(s.Path("out.wav"), fs::perms::owner_read | fs::perms::owner_write);
         const CliRun run = DecodeOf(s, "song.wav");
         struct stat info {};
         EXPECT_EQ(::stat(s.Path("out.wav").c_str(), &info), 0);
         EXPECT_EQ(info.st_mode & 0777, 0600u);
         return run;
     },
     {0},
     ""},
    {"play refuses a FIFO",
     [](Scene& s) {
         ::mkfifo(s.Path("live.wav").c_str(), 0600);
         return s.Run({"play", s.Path("live.wav")});
     },
     {1},
     "is not a regular file"},
    {"play names an empty WAV",
     [](Scene& s) {
         WriteBytes(s.Path("empty.wav"), MakeWav16({}, 2, 44100));
         setenv("ORVANTA_AUDIO_SINK", "fakesink", /*overwrite=*/1);
         return s.Run({"play", s.Path("empty.wav")});
     },
     {1},
     "the file holds no audio"},
    {"a folder as the source", [](Scene& s) { return DecodeOf(s, ""); }, {1}, "is a folder"},
    {"a 12-bit WAV",
     [](Scene& s) {
         return DecodeOf(s, "12.wav", MakeWav(PcmSignal{2, 44100, 12, 1000}));
     },
     {1},
     "Only 8, 16, 24 and 32 bit input files supported"},
    {"control characters in a name are shown escaped",
     [](Scene& s) { return DecodeOf(s, "a\x1b[2Jb.mp3"); },
     {1},
     "a\\x1B[2Jb.mp3: Could not find"},
    {"'--' ends the options",
     [](Scene& s) {
         WriteBytes(s.Path("--help"), Song(1));
         const int status =
             RunShell("cd " + s.Path("") + " && " ORVANTA_CLI_PATH " decode -- --help out.wav");
         EXPECT_TRUE(fs::exists(s.Path("out.wav")));
         return CliRun{status, "", ""};
     },
     {0},
     ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, CliExitTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<ExitRow>& row) {
                             return "Row" + std::to_string(row.index);
                         });

} // namespace
} // namespace orvanta::test
