#include "CliRunner.h"
#include "TestSources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace orvanta::test {
namespace {

// Music-like audio scaled by `scale` (saturating, so a large scale brickwalls it), with a short
// loud click every half second when `clicks` is set: a quiet song whose peaks stand far out.
Bytes Song(int channels, int rate, double scale, bool clicks) {
    std::vector<int16_t> samples = MusicSamples(channels, rate, static_cast<uint32_t>(rate) * 30);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::size_t frame = i / static_cast<std::size_t>(channels);
        const bool click = clicks && frame % static_cast<std::size_t>(rate / 2) < 40;
        const double value =
            click ? 8000.0 * std::sin(0.9 * static_cast<double>(frame)) : samples[i] * scale;
        samples[i] = static_cast<int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return MakeWav16(samples, channels, rate);
}

struct Ebur128 {
    double integrated = 0.0;
    double truePeak = 0.0;
};

// The loudness and true peak as ffmpeg's ebur128 filter reports them: a measurement that shares
// no code with ours.
Ebur128 MeasureWithFfmpeg(const std::string& path) {
    const std::string command =
        "ffmpeg -nostats -hide_banner -i '" + path + "' -af ebur128=peak=true -f null - 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    std::array<char, 4096> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
        text += buffer.data();
    }
    const std::size_t summary = text.rfind("Summary:");
    EXPECT_NE(summary, std::string::npos) << text;
    const std::string tail = text.substr(summary == std::string::npos ? 0 : summary);
    // The figure after `label` in the summary, e.g. "I:         -14.0 LUFS".
    const auto figure = [&tail](const char* label) {
        const std::size_t at = tail.find(label);
        EXPECT_NE(at, std::string::npos) << tail;
        return at == std::string::npos ? 99.0 : std::strtod(tail.c_str() + at + 5, nullptr);
    };
    return {figure("I:   "), figure("Peak:")};
}

struct CorpusCase {
    const char* name;
    int channels;
    int rate;
    double scale;
    bool clicks;
    std::vector<std::string> options;
    double target;
    double ceiling;
    const char* soxSynth = nullptr; // made by sox instead, e.g. noise the encoder overshoots on
};

TEST(NormalizeCommandTest, EveryNormalisedRingtoneMeetsTargetAndCeilingByFfmpeg) {
    const CorpusCase corpus[] = {
        {"quiet", 2, 44100, 0.15, true, {"--normalize"}, -14.0, -1.0},
        {"loud", 2, 44100, 1.9, false, {"--normalize", "--stereo"}, -14.0, -1.0},
        {"brickwalled", 2, 44100, 6.0, false, {"--normalize"}, -14.0, -1.0},
        {"mono", 1, 44100, 0.5, true, {"--normalize"}, -14.0, -1.0},
        {"22 kHz", 2, 22050, 1.0, false, {"--normalize", "--quality", "medium"}, -14.0, -1.0},
        {"11 kHz", 1, 11025, 1.0, true, {"--normalize", "--quality", "low"}, -14.0, -1.0},
        {"1-second selection",
         2,
         44100,
         0.3,
         true,
         {"--normalize", "--start", "5000", "--end", "6000"},
         -14.0,
         -1.0},
        {"other target",
         2,
         44100,
         0.08,
         true,
         {"--normalize", "-20", "--true-peak", "-3", "--quality", "low"},
         -20.0,
         -3.0},
        {"pink noise near the gain cap",
         2,
         44100,
         1.0,
         false,
         {"--normalize"},
         -14.0,
         -1.0,
         "pinknoise gain -18"},
    };
    TempDir dir;
    for (const CorpusCase& c : corpus) {
        SCOPED_TRACE(c.name);
        const std::string source = dir.Path("song.wav");
        if (c.soxSynth != nullptr) {
            ASSERT_EQ(
                RunShell("sox -R -n -r 44100 -c 2 -b 16 '" + source + "' synth 10 " + c.soxSynth),
                0);
        } else {
            WriteBytes(source, Song(c.channels, c.rate, c.scale, c.clicks));
        }
        std::vector<std::string> arguments{"make", source};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const CliRun run = RunCli(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Ebur128 measured = MeasureWithFfmpeg(dir.Path("song_ringtone.mp3"));
        EXPECT_NEAR(measured.integrated, c.target, 0.5) << run.err;
        EXPECT_LE(measured.truePeak, c.ceiling) << run.err;
    }
}

struct BadInputCase {
    const char* name;
    std::vector<std::string> arguments; // after the working WAV's path
    int exitCode;
    const char* saying;
};

// Refusals name their limits; what cannot be measured says so and is left at 100 %.
TEST(NormalizeCommandTest, BadInputGetsAClearAnswer) {
    TempDir dir;
    const std::string work = dir.Path("work.wav");
    const std::string silence = dir.Path("silence.wav");
    WriteBytes(work, Song(2, 44100, 1.0, false));
    WriteBytes(silence, MakeWav16(std::vector<int16_t>(44100 * 4), 1, 44100));
    const std::string ring = dir.Path("ring.wav");
    const BadInputCase cases[] = {
        {"target too low", {"cut", work, ring, "0", "5000", "--normalize", "-31"}, 2, "-30 to -5"},
        {"ceiling too high", {"make", work, "--normalize", "--true-peak", "0.5"}, 2, "-9 to 0"},
        {"ceiling alone", {"make", work, "--true-peak", "-2"}, 2, "--true-peak needs"},
        {"with amplify",
         {"cut", work, ring, "0", "5000", "--normalize", "--amplify", "120"},
         2,
         "exclude"},
        {"silence", {"cut", silence, ring, "0", "3000", "--normalize"}, 0, "-inf"},
        {"under 1 s", {"cut", work, ring, "0", "300", "--normalize"}, 2, "at least 1000 ms"},
        {"measure silence", {"measure", silence}, 0, ""},
    };
    for (const BadInputCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.saying), std::string::npos) << run.err;
    }
    EXPECT_EQ(RunCli({"measure", silence}).out,
              "Integrated loudness: -inf LUFS\nLoudness range: 0.0 LU\nTrue peak: -inf dBTP\n"
              "Sample peak: -inf dBFS\n");
    // Unmeasurable: the cut is the plain one at 100 %, byte for byte.
    const std::string plain = dir.Path("plain.wav");
    ASSERT_EQ(RunCli({"cut", silence, plain, "0", "3000"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(ring), ReadBytes(plain));
}

TEST(NormalizeCommandTest, MeasurePrintsWhatFfmpegMeasures) {
    TempDir dir;
    const std::string song = dir.Path("song.wav");
    WriteBytes(song, Song(2, 44100, 0.5, true));
    const CliRun run = RunCli({"measure", "--json", song, "--start", "1000", "--end", "21000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    double integrated = 0.0;
    double range = 0.0;
    double truePeak = 0.0;
    double samplePeak = 0.0;
    ASSERT_EQ(std::sscanf(run.out.c_str(),
                          "{\"integrated_lufs\": %lf, \"loudness_range_lu\": %lf, "
                          "\"true_peak_dbtp\": %lf, \"sample_peak_dbfs\": %lf}",
                          &integrated, &range, &truePeak, &samplePeak),
              4)
        << run.out;
    ASSERT_EQ(RunCli({"cut", song, dir.Path("part.wav"), "1000", "21000", "--fade", "0"}).exitCode,
              0);
    const Ebur128 reference = MeasureWithFfmpeg(dir.Path("part.wav"));
    EXPECT_NEAR(integrated, reference.integrated, 0.1);
    // The two oversample differently: on sharp clicks they part by a few tenths of a dB.
    EXPECT_NEAR(truePeak, reference.truePeak, 0.4);
}

} // namespace
} // namespace orvanta::test
