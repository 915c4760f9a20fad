// Every output of the engine is written under a temporary name and put in place only when whole.

#include "EngineHarness.h"
#include "FileHandle.h"
#include "TestSources.h"
#include "WavProcessor.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace orvanta::test {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    bool ok = false;
    int cancelled = -1;
    std::string errors;
};

// One of the engine's four writers, run from `input` (a 16-bit stereo WAV) into `output`.
using Writer =
    std::function<RunResult(const std::string& input, const std::string& output, int cancelAtStep)>;

RunResult FromOutcome(const DecodeOutcome& outcome) {
    return RunResult{outcome.ok, outcome.cancelled, outcome.errors};
}

template <typename Pass> RunResult RunPass(int cancelAtStep, Pass pass) {
    RunResult result;
    RecordingProgress progress;
    progress.cancelAtStep = cancelAtStep;
    LogCapture log;
    ScopedProgressSteps installed(progress);
    result.ok = pass(result.cancelled);
    result.errors = log.errors;
    return result;
}

struct OutputKind {
    const char* name;
    const char* outputName;
    Writer write;
};

const std::vector<OutputKind>& OutputKinds() {
    static const std::vector<OutputKind> kinds{
        {"WorkingWav", "out.wav",
         [](const std::string& in, const std::string& out, int cancelAt) {
             return FromOutcome(DecodeFile(in, out, cancelAt));
         }},
        {"PeakFile", "out.wfp",
         [](const std::string& in, const std::string& out, int cancelAt) {
             return RunPass(cancelAt, [&](int& cancelled) {
                 return WavProcessor().BuildPeakFile(in, out, cancelled);
             });
         }},
        {"RingtoneWav", "out_ringtone.wav",
         [](const std::string& in, const std::string& out, int cancelAt) {
             return RunPass(cancelAt, [&](int& cancelled) {
                 return WavProcessor().CutRingtone(in, out, 0, 1500, 500, 1.2f, cancelled);
             });
         }},
        {"Mp3", "out_ringtone.mp3",
         [](const std::string& in, const std::string& out, int cancelAt) {
             return FromOutcome(EncodeFile(in, out, /*stereo=*/false, 44100, cancelAt));
         }},
    };
    return kinds;
}

// Over 1600 bytes of every output, so a file size limit of 1000 bytes fails each writer midway.
constexpr uint32_t kInputFrames = 50000;
constexpr rlim_t kFileSizeLimit = 1000;
const Bytes kPrevious(321, 0x5A);

class OutputSafetyTest : public ::testing::TestWithParam<OutputKind> {
protected:
    void SetUp() override {
        WriteBytes(dir.Path("in.wav"), MakeWav16(MusicSamples(2, 44100, kInputFrames), 2, 44100));
    }
    std::string Output() const { return dir.Path(GetParam().outputName); }
    RunResult Write(int cancelAtStep = 0) const {
        return GetParam().write(dir.Path("in.wav"), Output(), cancelAtStep);
    }
    std::set<std::string> OnlyInputAndOutput() const { return {"in.wav", GetParam().outputName}; }

    TempDir dir;
};

TEST_P(OutputSafetyTest, NewFileGetsMode0644LessTheUmask) {
    const mode_t previousMask = ::umask(027);
    const RunResult result = Write();
    ::umask(previousMask);
    ASSERT_TRUE(result.ok) << result.errors;
    EXPECT_EQ(result.cancelled, 0);
    struct stat info {};
    ASSERT_EQ(::stat(Output().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(FolderEntries(dir), OnlyInputAndOutput());
}

TEST_P(OutputSafetyTest, CompletedOutputReplacesThePreviousFile) {
    WriteBytes(Output(), kPrevious);
    ASSERT_TRUE(Write().ok);
    EXPECT_GT(ReadBytes(Output()).size(), kPrevious.size());
    EXPECT_EQ(FolderEntries(dir), OnlyInputAndOutput());
}

TEST_P(OutputSafetyTest, ReplacedFileKeepsItsMode) {
    WriteBytes(Output(), kPrevious);
    ASSERT_EQ(::chmod(Output().c_str(), 0600), 0);
    ASSERT_TRUE(Write().ok);
    struct stat info {};
    ASSERT_EQ(::stat(Output().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A disk that fills midway (here: a file size limit) fails the writer; the file the user had
// stays as it was and no temporary file is left.
TEST_P(OutputSafetyTest, WriteFailureKeepsThePreviousFile) {
    WriteBytes(Output(), kPrevious);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    ::getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit limit = previousLimit;
    limit.rlim_cur = kFileSizeLimit;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const RunResult result = Write();
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.errors.find("Error writing"), std::string::npos) << result.errors;
    EXPECT_TRUE(ReadBytes(Output()) == kPrevious);
    EXPECT_EQ(FolderEntries(dir), OnlyInputAndOutput());
}

TEST_P(OutputSafetyTest, CancelKeepsThePreviousFile) {
    WriteBytes(Output(), kPrevious);
    const RunResult result = Write(/*cancelAtStep=*/2);
    ASSERT_TRUE(result.ok) << result.errors;
    EXPECT_EQ(result.cancelled, 1);
    EXPECT_TRUE(ReadBytes(Output()) == kPrevious);
    EXPECT_EQ(FolderEntries(dir), OnlyInputAndOutput());
}

struct NotRegular {
    const char* name;
    std::function<void(const std::string& path, const TempDir& dir)> make;
    fs::file_type type;
};

// A device, a FIFO, a folder or a symbolic link at the output path is refused and left alone:
// nothing is deleted, nothing waits on the FIFO, nothing is written through the link.
TEST_P(OutputSafetyTest, NonRegularOutputPathIsRefusedAndLeftAlone) {
    WriteBytes(dir.Path("target"), kPrevious);
    const std::vector<NotRegular> kinds{
        {"Fifo", [](const std::string& p, const TempDir&) { ::mkfifo(p.c_str(), 0600); },
         fs::file_type::fifo},
        {"Folder", [](const std::string& p, const TempDir&) { fs::create_directory(p); },
         fs::file_type::directory},
        {"Symlink",
         [](const std::string& p, const TempDir& d) { fs::create_symlink(d.Path("target"), p); },
         fs::file_type::symlink},
    };
    for (const NotRegular& kind : kinds) {
        kind.make(Output(), dir);
        const RunResult result = Write();
        EXPECT_FALSE(result.ok) << kind.name;
        EXPECT_NE(result.errors.find("is not a regular file"), std::string::npos)
            << kind.name << ": " << result.errors;
        EXPECT_EQ(fs::symlink_status(Output()).type(), kind.type) << kind.name;
        EXPECT_EQ(FolderEntries(dir),
                  (std::set<std::string>{"in.wav", "target", GetParam().outputName}))
            << kind.name;
        fs::remove(Output());
    }
    EXPECT_TRUE(ReadBytes(dir.Path("target")) == kPrevious);
}

TEST_P(OutputSafetyTest, DeviceOutputPathIsRefused) {
    const RunResult result = GetParam().write(dir.Path("in.wav"), "/dev/null", 0);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.errors.find("is not a regular file"), std::string::npos) << result.errors;
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
}

// The plain helper for one-go files follows the same rule: a regular file is emptied and
// written, anything else at the path is refused and left alone.
TEST(OpenOutputFileTest, WritesRegularFilesOnly) {
    TempDir dir;
    WriteBytes(dir.Path("old"), kPrevious);
    ::mkfifo(dir.Path("fifo").c_str(), 0600);
    fs::create_symlink(dir.Path("old"), dir.Path("link"));
    EXPECT_EQ(OpenOutputFile(dir.Path("fifo")), nullptr);
    EXPECT_EQ(OpenOutputFile(dir.Path("link")), nullptr);
    EXPECT_EQ(OpenOutputFile(dir.Path("")), nullptr);
    EXPECT_TRUE(ReadBytes(dir.Path("old")) == kPrevious);
    FilePtr file = OpenOutputFile(dir.Path("old"));
    ASSERT_NE(file, nullptr);
    EXPECT_GE(std::fputs("new", file.get()), 0);
    EXPECT_TRUE(CloseFile(file));
    EXPECT_EQ(ReadBytes(dir.Path("old")), (Bytes{'n', 'e', 'w'}));
}

INSTANTIATE_TEST_SUITE_P(Writers, OutputSafetyTest, ::testing::ValuesIn(OutputKinds()),
                         [](const ::testing::TestParamInfo<OutputKind>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
} // namespace orvanta::test
