// The M4R and Ogg encoders, checked from the outside: ffprobe reads what they wrote, ffmpeg
// decodes it for a comparison with the ringtone WAV.

#include "GstRingtoneEncoder.h"

#include "EngineHarness.h"
#include "TestSources.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace orvanta::test {
namespace {

std::string RunTool(const std::string& command) {
    std::string output;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> chunk{};
    for (std::size_t n = 0;
         pipe != nullptr && (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        output.append(chunk.data(), n);
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    return output;
}

// ffprobe's "key=value" lines; tag keys lower-cased, as Ogg and MP4 spell them differently.
std::map<std::string, std::string> Probe(const std::string& path) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(RunTool("ffprobe -v error -show_entries format=format_name,duration:"
                                     "format_tags=major_brand,title:stream=codec_name,channels,"
                                     "sample_rate:stream_tags=title -of default=nw=1 '" +
                                     path + "'"));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        std::string key = line.substr(0, equals);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        fields[key] = line.substr(equals + 1);
    }
    return fields;
}

std::vector<int16_t> DecodeWithFfmpeg(const std::string& path, int channels) {
    const std::string pcm = RunTool("ffmpeg -v error -i '" + path + "' -f s16le -ac " +
                                    std::to_string(channels) + " -ar 44100 -");
    std::vector<int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return samples;
}

// A chord, different on each channel: lossy coders keep tones, where they would rebuild noise
// by its spectrum only and so hide their faults in a waveform comparison.
std::vector<int16_t> ChordSamples(int channels, uint32_t frames) {
    std::vector<int16_t> samples;
    constexpr double kTwoPi = 6.283185307179586;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        for (int channel = 0; channel < channels; ++channel) {
            samples.push_back(
                static_cast<int16_t>(7000 * std::sin(kTwoPi * (440 + 110 * channel) * t) +
                                     5000 * std::sin(kTwoPi * 659.25 * t + channel) +
                                     3000 * std::sin(kTwoPi * 1234.5 * t)));
        }
    }
    return samples;
}

// Compares two seconds from the first second on; the decoded audio may start late by the
// encoder's priming, so the best alignment within 3072 frames counts.
double BestSnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                 int channels) {
    const auto perChannel = static_cast<std::size_t>(channels);
    const std::size_t begin = 44100 * perChannel;
    const std::size_t end = std::min(reference.size(), 3 * 44100 * perChannel);
    double best = -1e9;
    for (std::size_t lag = 0; lag <= 3072 * perChannel && end + lag <= decoded.size();
         lag += perChannel) {
        double signal = 0;
        double noise = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const double difference = double(reference[i]) - double(decoded[i + lag]);
            signal += double(reference[i]) * reference[i];
            noise += difference * difference;
        }
        best = std::max(best, 10 * std::log10(signal / std::max(noise, 1.0)));
    }
    return best;
}

std::string WriteRingtoneWav(const TempDir& dir, const std::vector<int16_t>& samples,
                             int channels) {
    WriteBytes(dir.Path("ring.wav"), MakeWav16(samples, channels, 44100));
    return dir.Path("ring.wav");
}

DecodeOutcome Encode(const RingtoneEncodeRequest& request, int cancelAtStep = 0) {
    DecodeOutcome outcome;
    outcome.progress.cancelAtStep = cancelAtStep;
    const LogCapture log;
    const ScopedProgressSteps installed(outcome.progress);
    int cancelled = -1;
    outcome.ok = EncodeRingtone(request, cancelled);
    outcome.cancelled = cancelled;
    outcome.errors = log.errors;
    return outcome;
}

struct CorpusCase {
    int wavChannels;
    bool stereo;
    int outSampleRate;
    double seconds;
};

TEST(GstRingtoneEncoder, CorpusHasCodecContainerDurationTitleAndFidelity) {
    const CorpusCase corpus[] = {
        {2, true, 44100, 40}, {1, false, 44100, 3.2}, {2, false, 44100, 7.3}, {2, true, 22050, 10},
        {2, false, 22050, 5}, {2, true, 11025, 20},   {1, false, 11025, 1}};
    for (const CorpusCase& c : corpus) {
        for (const RingtoneFormat format : {RingtoneFormat::M4r, RingtoneFormat::Ogg}) {
            SCOPED_TRACE(std::string(RingtoneFormatName(format)) + " " +
                         std::to_string(c.wavChannels) + "ch->" + (c.stereo ? "kept " : "mono ") +
                         std::to_string(c.outSampleRate) + " Hz " + std::to_string(c.seconds) +
                         " s");
            const TempDir dir;
            const auto frames = static_cast<uint32_t>(std::lround(c.seconds * 44100));
            const std::vector<int16_t> samples = ChordSamples(c.wavChannels, frames);
            const std::string output =
                dir.Path(std::string("song_ringtone.") + RingtoneFormatName(format));
            const DecodeOutcome outcome =
                Encode({WriteRingtoneWav(dir, samples, c.wavChannels), output, format, c.stereo,
                        c.outSampleRate, "Sóng (ringtone)"});
            ASSERT_TRUE(outcome.ok) << outcome.errors;
            EXPECT_EQ(outcome.cancelled, 0);
            EXPECT_EQ(outcome.progress.encoding.total, frames);
            EXPECT_EQ(outcome.progress.encoding.endCalls.size(), 1u);

            std::map<std::string, std::string> probe = Probe(output);
            const int channels = c.stereo ? c.wavChannels : 1;
            EXPECT_EQ(probe["channels"], std::to_string(channels));
            EXPECT_EQ(probe["sample_rate"], std::to_string(c.outSampleRate));
            EXPECT_EQ(probe["tag:title"], "Sóng (ringtone)");
            const double excess = std::stod(probe["duration"]) - c.seconds;
            if (format == RingtoneFormat::M4r) {
                EXPECT_EQ(probe["codec_name"], "aac");
                EXPECT_NE(probe["format_name"].find("mp4"), std::string::npos);
                EXPECT_EQ(probe["tag:major_brand"], "M4A ");
                // At most one frame of padding plus the encoder's priming frame.
                EXPECT_GE(excess, -0.001);
                EXPECT_LE(excess, 2048.0 / c.outSampleRate);
            } else {
                EXPECT_EQ(probe["codec_name"], "vorbis");
                EXPECT_EQ(probe["format_name"], "ogg");
                EXPECT_LE(std::abs(excess), 0.010);
            }
            if (c.outSampleRate == 44100 && channels == c.wavChannels) {
                EXPECT_GT(BestSnrDb(samples, DecodeWithFfmpeg(output, channels), channels), 20.0);
            }
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                                    std::filesystem::directory_iterator()),
                      2);
        }
    }
}

// A cancel, a refusal or a failure leaves no new file, and the previous ringtone as it was.
TEST(GstRingtoneEncoder, CancelOrFailureKeepsThePreviousRingtone) {
    const struct {
        RingtoneFormat format;
        double seconds;
        int cancelAtStep;
        bool ok;
        const char* error;
    } cases[] = {{RingtoneFormat::M4r, 3, 2, true, ""},
                 {RingtoneFormat::Ogg, 3, 5, true, ""},
                 {RingtoneFormat::M4r, 40.1, 0, false, "at most 40 seconds"},
                 {RingtoneFormat::Ogg, 0.5, 0, false, "not a working WAV"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(RingtoneFormatName(c.format)) + " " + std::to_string(c.seconds));
        const TempDir dir;
        const std::string wav = WriteRingtoneWav(
            dir, MusicSamples(2, 44100, static_cast<uint32_t>(c.seconds * 44100)), 2);
        if (!c.ok && c.seconds < 1) {
            std::filesystem::resize_file(wav, 20); // a header cut short
        }
        const std::string output = dir.Path("old_ringtone");
        std::ofstream(output) << "previous";
        const DecodeOutcome outcome =
            Encode({wav, output, c.format, true, 44100, "t"}, c.cancelAtStep);
        EXPECT_EQ(outcome.ok, c.ok);
        EXPECT_EQ(outcome.cancelled, c.ok ? 1 : -1);
        EXPECT_NE(outcome.errors.find(c.error), std::string::npos) << outcome.errors;
        EXPECT_EQ(outcome.progress.encoding.endCalls.size(), 1u);
        std::string kept;
        std::getline(std::ifstream(output), kept);
        EXPECT_EQ(kept, "previous");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                                std::filesystem::directory_iterator()),
                  2);
    }
}

} // namespace
} // namespace orvanta::test
