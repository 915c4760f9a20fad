#include "CliRunner.h"
#include "TestSources.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numbers>
#include <ostream>
#include <thread>

namespace orvanta::test {
namespace {

constexpr int kRate = 44100;
constexpr double kToneRms = 32767.0 / std::numbers::sqrt2;

// A full-scale 1 kHz sine, 16-bit stereo.
void WriteTone(const std::string& path, int ms) {
    std::vector<int16_t> samples;
    for (int i = 0; i < kRate * ms / 1000; ++i) {
        const auto value = static_cast<int16_t>(
            std::lround(32767.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kRate)));
        samples.insert(samples.end(), {value, value});
    }
    WriteBytes(path, MakeWav16(samples, 2, kRate));
}

// The level of frames [first, first + count) of interleaved stereo samples.
double Rms(const std::vector<int16_t>& samples, std::size_t firstFrame, std::size_t frameCount) {
    double sum = 0.0;
    const std::size_t end = std::min(samples.size(), (firstFrame + frameCount) * 2);
    for (std::size_t i = firstFrame * 2; i < end; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return end > firstFrame * 2 ? std::sqrt(sum / static_cast<double>(end - firstFrame * 2)) : 0.0;
}

// What the capture bins under test record, both paced by the clock like a sound card: a WAV
// file, for runs that reach the end of the stream (wavenc writes its header there), or raw
// samples on stdout, for runs the player stops itself (its rewind would make a file sink start
// its file afresh).
std::string WavCapture(const std::string& path) {
    return "audioconvert ! audio/x-raw,format=S16LE ! identity sync=true ! wavenc ! filesink "
           "location=" +
           path + " sync=false async=false";
}
const char* const kRawCaptureToStdout =
    "audioconvert ! audio/x-raw,format=S16LE,channels=2,rate=44100 ! fdsink fd=1 sync=true";

struct CaptureRow {
    const char* what;
    std::vector<std::string> options;
    bool wav;
    int shortestMs;
    int longestMs;
    bool fadesOut;
};

void PrintTo(const CaptureRow& row, std::ostream* out) {
    *out << row.what;
}

class PlayCaptureTest : public ::testing::TestWithParam<CaptureRow> {};

// The selection 1000-5000 ms of a 6-second tone with 1000 ms fades, as it reaches the sink.
TEST_P(PlayCaptureTest, TheSinkGetsTheSelectionWithItsFades) {
    const CaptureRow& row = GetParam();
    TempDir dir;
    WriteTone(dir.Path("tone.wav"), 6000);
    const std::string capture = dir.Path("capture.wav");
    setenv("ORVANTA_AUDIO_SINK", row.wav ? WavCapture(capture).c_str() : kRawCaptureToStdout,
           /*overwrite=*/1);
    std::vector<std::string> arguments{
        "play", dir.Path("tone.wav"), "--start", "1000", "--end", "5000", "--fade", "1000"};
    arguments.insert(arguments.end(), row.options.begin(), row.options.end());
    const CliRun run = RunCli(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<int16_t> samples;
    if (row.wav) {
        samples = ParseWorkingWav(ReadBytes(capture)).samples;
    } else {
        for (std::size_t at = 0; at + 1 < run.out.size(); at += 2) {
            const auto low = static_cast<uint8_t>(run.out[at]);
            const auto high = static_cast<uint8_t>(run.out[at + 1]);
            samples.push_back(static_cast<int16_t>(low | high << 8));
        }
    }
    const std::size_t frames = samples.size() / 2;
    const auto ms = static_cast<int>(frames * 1000 / kRate);
    EXPECT_GE(ms, row.shortestMs);
    EXPECT_LE(ms, row.longestMs);
    const std::size_t tenth = kRate / 10;
    const double middle = Rms(samples, frames / 2 - tenth / 2, tenth);
    EXPECT_NEAR(middle, kToneRms, kToneRms * 0.02) << "the middle is at full level";
    EXPECT_LT(Rms(samples, 0, tenth), middle * 0.1) << "the fade-in starts from silence";
    if (row.fadesOut) {
        EXPECT_LT(Rms(samples, frames - tenth, tenth), middle * 0.1) << "it ends faded out";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlayCaptureTest,
    ::testing::Values(
        CaptureRow{
            "fade-out off: plays to the stop position", {"--no-fade-out"}, true, 3850, 4150, false},
        // The fade-out is announced 400 ms and a tick early and stops the player when done.
        CaptureRow{"fades on: the fade-out ends the preview early", {}, false, 3400, 4000, true},
        // The end is the song's: the fade-out comes before it all the same.
        CaptureRow{"an end past the song's", {"--end", "9000"}, false, 4400, 5000, true}),
    [](const ::testing::TestParamInfo<CaptureRow>& row) {
        return "Row" + std::to_string(row.index);
    });

struct ExitRow {
    const char* what;
    std::string sink;
    std::vector<std::string> options;
    bool missingFile;
    int exitCode;
    std::string message;
};

void PrintTo(const ExitRow& row, std::ostream* out) {
    *out << row.what;
}

class PlayExitTest : public ::testing::TestWithParam<ExitRow> {};

TEST_P(PlayExitTest, ExitStatusSaysHowThePreviewEnded) {
    const ExitRow& row = GetParam();
    TempDir dir;
    WriteTone(dir.Path("tone.wav"), 1500);
    setenv("ORVANTA_AUDIO_SINK", row.sink.c_str(), /*overwrite=*/1);
    std::vector<std::string> arguments{"play",
                                       dir.Path(row.missingFile ? "absent.wav" : "tone.wav")};
    arguments.insert(arguments.end(), row.options.begin(), row.options.end());
    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlayExitTest,
    ::testing::Values(
        ExitRow{"completes", "fakesink sync=true", {"--verbose"}, false, 0, "Completed 100"},
        ExitRow{"the sink fails while playing",
                "filesink location=/dev/full buffer-mode=unbuffered",
                {},
                false,
                1,
                "No space left"},
        ExitRow{"no such file", "fakesink", {}, true, 1, "No such file"},
        ExitRow{"a sink GStreamer cannot build", "nosuchsink", {}, false, 1, "nosuchsink"},
        ExitRow{"end before start",
                "fakesink",
                {"--start", "900", "--end", "800"},
                false,
                2,
                "usage:"}),
    [](const ::testing::TestParamInfo<ExitRow>& row) { return "Row" + std::to_string(row.index); });

TEST(PlayInterruptTest, CtrlCStopsThePlayerAndExits130) {
    TempDir dir;
    WriteTone(dir.Path("tone.wav"), 6000);
    setenv("ORVANTA_AUDIO_SINK", "fakesink sync=true", /*overwrite=*/1);
    const CliProcess process(dir, {"play", dir.Path("tone.wav"), "--verbose"});
    // Interrupt only once it plays; a generous limit, not a timing check.
    for (int wait = 0; wait < 1000; ++wait) {
        const Bytes err = ReadBytes(dir.Path("stderr.txt"));
        if (std::string(err.begin(), err.end()).find("Playing") != std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    process.Signal(SIGINT);
    const CliRun run = process.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("Stopped"), std::string::npos) << run.err;
}

} // namespace
} // namespace orvanta::test
