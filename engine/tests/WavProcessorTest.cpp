#include "WavProcessor.h"

#include "EngineHarness.h"
#include "FadeEnvelope.h"
#include "PeakFile.h"
#include "RingtoneSettings.h"
#include "TestSources.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace orvanta::test {
namespace {

struct PassResult {
    bool ok = false;
    int cancelled = -1;
    std::string errors;
    RecordingProgress progress;
};

PassResult BuildPeaks(const std::string& wav, const std::string& peaks, int cancelAtStep = 0) {
    PassResult result;
    result.progress.cancelAtStep = cancelAtStep;
    LogCapture log;
    ScopedProgressSteps installed(result.progress);
    result.ok = WavProcessor().BuildPeakFile(wav, peaks, result.cancelled);
    result.errors = log.errors;
    return result;
}

PassResult WritePeaks(const PeakBuilder& peaks, const std::string& wav, const std::string& wfp,
                      int cancelAtStep = 0) {
    PassResult result;
    result.progress.cancelAtStep = cancelAtStep;
    LogCapture log;
    ScopedProgressSteps installed(result.progress);
    result.ok = WavProcessor().WritePeakFile(peaks, wav, wfp, result.cancelled);
    result.errors = log.errors;
    return result;
}

PassResult Cut(const std::string& wav, const std::string& ringtone, int32_t startMs, int32_t endMs,
               int32_t fadeMs, float amplify, int cancelAtStep = 0) {
    PassResult result;
    result.progress.cancelAtStep = cancelAtStep;
    LogCapture log;
    ScopedProgressSteps installed(result.progress);
    result.ok = WavProcessor().CutRingtone(wav, ringtone, startMs, endMs, fadeMs, amplify,
                                           result.cancelled);
    result.errors = log.errors;
    return result;
}

int16_t Le16(const Bytes& bytes, std::size_t at) {
    return static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Le32(const Bytes& bytes, std::size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

// ---- Peak file ---------------------------------------------------------------------------------

struct PeakCase {
    const char* name;
    PcmSignal signal;
    std::size_t expectedBytes;
};

class PeakFileTest : public ::testing::TestWithParam<PeakCase> {};

// Every 128th frame's samples, in frame order, whatever 1024-byte chunk they fall in.
TEST_P(PeakFileTest, KeepsEvery128thFrameAfterTheChannelCount) {
    const PeakCase& c = GetParam();
    TempDir dir;
    const Bytes wav = MakeWav(c.signal);
    WriteBytes(dir.Path("w.wav"), wav);
    const PassResult result = BuildPeaks(dir.Path("w.wav"), dir.Path("w.wfp"));
    ASSERT_TRUE(result.ok) << result.errors;
    const Bytes peaks = ReadBytes(dir.Path("w.wfp"));
    ASSERT_EQ(peaks.size(), c.expectedBytes);
    EXPECT_EQ(Le32(peaks, 0), static_cast<uint32_t>(c.signal.channels));

    const std::vector<int16_t> samples = ParseWorkingWav(wav).samples;
    std::size_t at = 4;
    for (uint32_t frame = 0; frame < c.signal.frames && c.signal.bits == 16; frame += 128) {
        for (int channel = 0; channel < c.signal.channels; ++channel, at += 2) {
            ASSERT_EQ(Le16(peaks, at), samples[frame * c.signal.channels + channel]) << frame;
        }
    }
    EXPECT_EQ(result.progress.waveform.beginCalls, 1);
    EXPECT_EQ(result.progress.waveform.total, c.signal.frames);
    EXPECT_EQ(result.progress.waveform.endCalls.size(), 1u);
    if (c.signal.frames > 0) {
        EXPECT_EQ(result.cancelled, 0);
        EXPECT_EQ(result.progress.waveform.positions.back(), c.signal.frames);
    } else {
        EXPECT_EQ(result.cancelled, -1) << "an empty WAV leaves cancelled alone";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PeakFileTest,
    ::testing::Values(PeakCase{"Stereo1000Frames", {2, 44100, 16, 1000}, 4 + 8 * 4},
                      PeakCase{"Mono128Frames", {1, 44100, 16, 128}, 4 + 2},
                      PeakCase{"Mono129Frames", {1, 44100, 16, 129}, 4 + 2 * 2},
                      PeakCase{"StereoAcrossManyChunks", {2, 22050, 16, 10000}, 4 + 79 * 4},
                      PeakCase{"StereoEmpty", {2, 44100, 16, 0}, 4}),
    [](const ::testing::TestParamInfo<PeakCase>& row) { return std::string(row.param.name); });

TEST(PeakFileTest, EightBitValuesAreCentredOn127AndScaled) {
    TempDir dir;
    Bytes wav = MakeWav(PcmSignal{1, 8000, 8, 4 * 128});
    const std::size_t data = wav.size() - 4 * 128;
    const std::array<uint8_t, 4> bytes{0, 127, 128, 255};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        wav[data + i * 128] = bytes[i];
    }
    WriteBytes(dir.Path("w.wav"), wav);
    ASSERT_TRUE(BuildPeaks(dir.Path("w.wav"), dir.Path("w.wfp")).ok);
    const Bytes peaks = ReadBytes(dir.Path("w.wfp"));
    ASSERT_EQ(peaks.size(), 4u + 4 * 2);
    EXPECT_EQ(Le16(peaks, 4), -127 * 255);
    EXPECT_EQ(Le16(peaks, 6), 0);
    EXPECT_EQ(Le16(peaks, 8), 255);
    EXPECT_EQ(Le16(peaks, 10), 128 * 255) << "full scale must not wrap to the negative side";
}

struct DecodedSource {
    const char* name;
    const char* file;
    Bytes bytes;
};

// Odd lengths, both channel counts, 8- and 16-bit PCM, several rates, MP3 with and without its
// encoder tag.
std::vector<DecodedSource> DecodedSources() {
    return {{"Stereo16Wav", "a.wav", MakeWav(PcmSignal{2, 44100, 16, 3001})},
            {"Mono8Wav", "a.wav", MakeWav(PcmSignal{1, 22050, 8, 1001})},
            {"Stereo8Aiff", "a.aif", MakeAiff(PcmSignal{2, 11025, 8, 777})},
            {"Raw", "a.raw", MakeRawPcm(PcmSignal{2, 44100, 16, 2049})},
            {"StereoMp3", "a.mp3", EncodeMp3(MusicSamples(2, 44100, 40001), 2, 44100, 128)},
            {"MonoMp3NoTag", "a.mp3",
             EncodeMp3(MusicSamples(1, 22050, 20001), 1, 22050, 64, /*tagFrame=*/false)}};
}

// The peaks built during the decode are those `peaks` reads from the finished WAV, and the peak
// step writes them in one step without reading the WAV: its samples are overwritten first.
TEST(PeakBuilderTest, PeaksBuiltWhileDecodingAreThoseOfTheFinishedWav) {
    for (const DecodedSource& source : DecodedSources()) {
        TempDir dir;
        WriteBytes(dir.Path(source.file), source.bytes);
        PeakBuilder peaks;
        const DecodeOutcome decoded = DecodeFile(dir.Path(source.file), dir.Path("w.wav"),
                                                 /*cancelAtStep=*/0, &peaks);
        ASSERT_TRUE(decoded.ok && decoded.cancelled == 0) << source.name << decoded.errors;
        ASSERT_TRUE(BuildPeaks(dir.Path("w.wav"), dir.Path("read.wfp")).ok) << source.name;
        Bytes wav = ReadBytes(dir.Path("w.wav"));
        const WorkingWav header = ParseWorkingWav(wav);
        std::fill(wav.begin() + 44, wav.end(), uint8_t{0x5A});
        WriteBytes(dir.Path("w.wav"), wav);

        const PassResult built = WritePeaks(peaks, dir.Path("w.wav"), dir.Path("built.wfp"));
        ASSERT_TRUE(built.ok) << source.name << built.errors;
        EXPECT_EQ(ReadBytes(dir.Path("built.wfp")), ReadBytes(dir.Path("read.wfp"))) << source.name;
        const uint32_t frames = header.dataLength / header.blockAlign;
        EXPECT_EQ(built.progress.waveform.total, frames) << source.name;
        EXPECT_EQ(built.progress.waveform.positions, std::vector<uint32_t>{frames}) << source.name;
        EXPECT_EQ(built.progress.waveform.endCalls.size(), 1u) << source.name;
    }
}

// Peaks that may not stand for the WAV (it changed since the decode) are not written as they
// are: the step reads the WAV instead. An empty WAV still gets its channel count; a Cancel at
// the step leaves no peak file.
TEST(PeakBuilderTest, UntrustedPeaksFallBackToTheWavAndACancelWritesNothing) {
    const auto replace = [](const std::string& wav) {
        WriteBytes(wav, MakeWav(PcmSignal{1, 8000, 16, 999}));
    };
    const struct {
        const char* name;
        PcmSignal source;
        std::function<void(const std::string&)> afterDecode;
        int cancelAt;
    } rows[] = {{"CancelAtThePeakStep", {2, 44100, 16, 5000}, {}, 1},
                {"EmptySource", {2, 44100, 16, 0}, {}, 0},
                {"WavReplacedSinceTheDecode", {2, 44100, 16, 5000}, replace, 0}};
    for (const auto& row : rows) {
        TempDir dir;
        WriteBytes(dir.Path("a.wav"), MakeWav(row.source));
        PeakBuilder peaks;
        ASSERT_TRUE(DecodeFile(dir.Path("a.wav"), dir.Path("w.wav"), /*cancelAtStep=*/0, &peaks).ok)
            << row.name;
        if (row.afterDecode) {
            row.afterDecode(dir.Path("w.wav"));
        }
        const PassResult result =
            WritePeaks(peaks, dir.Path("w.wav"), dir.Path("w.wfp"), row.cancelAt);
        ASSERT_TRUE(result.ok) << row.name;
        if (row.cancelAt != 0) {
            EXPECT_EQ(result.cancelled, 1);
            EXPECT_FALSE(std::filesystem::exists(dir.Path("w.wfp")));
            continue;
        }
        ASSERT_TRUE(BuildPeaks(dir.Path("w.wav"), dir.Path("read.wfp")).ok) << row.name;
        EXPECT_EQ(ReadBytes(dir.Path("w.wfp")), ReadBytes(dir.Path("read.wfp"))) << row.name;
    }
}

struct BadWavCase {
    const char* name;
    std::function<Bytes()> build;
    const char* reason = "decode it first";
};

Bytes WavWithZeroField(std::size_t offset) {
    Bytes wav = MakeWav(PcmSignal{2, 44100, 16, 500});
    wav[offset] = 0;
    wav[offset + 1] = 0;
    return wav;
}

class UnusableWavTest : public ::testing::TestWithParam<BadWavCase> {};

// Only a canonical 44-byte-header PCM WAV of 8 or 16 bits is read: anything else would have
// chunk bytes taken for samples or no block size to count frames by. Both passes fail, with a
// reason that says to decode first, and leave nothing.
TEST_P(UnusableWavTest, BothPassesFailCleanly) {
    TempDir dir;
    WriteBytes(dir.Path("w.wav"), GetParam().build());
    const PassResult peaks = BuildPeaks(dir.Path("w.wav"), dir.Path("w.wfp"));
    EXPECT_FALSE(peaks.ok);
    EXPECT_NE(peaks.errors.find(GetParam().reason), std::string::npos) << peaks.errors;
    EXPECT_EQ(peaks.progress.waveform.endCalls.size(), 1u) << "the window must close";
    EXPECT_FALSE(std::filesystem::exists(dir.Path("w.wfp")));
    const PassResult cut = Cut(dir.Path("w.wav"), dir.Path("r.wav"), 0, 1000, 0, 1.0f);
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.cancelled, -1);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("r.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Headers, UnusableWavTest,
    ::testing::Values(
        BadWavCase{"ZeroChannels", [] { return WavWithZeroField(22); }},
        BadWavCase{"ZeroBits", [] { return WavWithZeroField(34); }},
        BadWavCase{"ZeroSampleRate", [] { return WavWithZeroField(24); }},
        BadWavCase{"ShorterThanAHeader", [] { return Bytes(20, 0x52); }},
        BadWavCase{"TwentyFourBits",
                   [] {
                       return MakeWav(PcmSignal{2, 44100, 24, 500});
                   }},
        BadWavCase{
            "ListChunkBeforeData",
            [] {
                return MakeWav(PcmSignal{2, 44100, 16, 500}, WavOptions{.listChunksBeforeData = 1});
            }},
        BadWavCase{
            "ListChunkBeforeFmt",
            [] {
                return MakeWav(PcmSignal{2, 44100, 16, 500}, WavOptions{.listChunksBeforeFmt = 1});
            }},
        BadWavCase{"FloatFormat",
                   [] {
                       return MakeWav(PcmSignal{2, 44100, 16, 500}, WavOptions{.formatTag = 3});
                   }},
        BadWavCase{"Extensible",
                   [] {
                       return MakeWav(PcmSignal{2, 44100, 16, 500}, WavOptions{.extensible = true});
                   }},
        BadWavCase{"SixChannels",
                   [] {
                       return MakeWav(PcmSignal{6, 44100, 16, 500});
                   }},
        BadWavCase{"Aiff",
                   [] {
                       return MakeAiff(PcmSignal{2, 44100, 16, 500});
                   }},
        BadWavCase{"RiffNotWave",
                   [] {
                       Bytes wav = MakeWav(PcmSignal{2, 44100, 16, 500});
                       wav[8] = 'A';
                       return wav;
                   }}),
    [](const ::testing::TestParamInfo<BadWavCase>& row) { return std::string(row.param.name); });

struct InputKindCase {
    const char* name;
    std::function<void(const std::string& path)> make;
    const char* reason;
};

class UnreadableInputTest : public ::testing::TestWithParam<InputKindCase> {};

// A FIFO would block the pass and a device never end; a file longer than a WAV header can
// describe has no meaningful length. Each fails at once with its reason and writes nothing.
TEST_P(UnreadableInputTest, BothPassesFailWithTheReason) {
    TempDir dir;
    GetParam().make(dir.Path("w.wav"));
    const PassResult peaks = BuildPeaks(dir.Path("w.wav"), dir.Path("w.wfp"));
    EXPECT_FALSE(peaks.ok);
    EXPECT_NE(peaks.errors.find(GetParam().reason), std::string::npos) << peaks.errors;
    const PassResult cut = Cut(dir.Path("w.wav"), dir.Path("r.wav"), 0, 1000, 0, 1.0f);
    EXPECT_FALSE(cut.ok);
    EXPECT_NE(cut.errors.find(GetParam().reason), std::string::npos) << cut.errors;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("w.wfp")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("r.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnreadableInputTest,
    ::testing::Values(
        InputKindCase{"Fifo", [](const std::string& path) { ::mkfifo(path.c_str(), 0600); },
                      "is not a regular file"},
        InputKindCase{"Folder",
                      [](const std::string& path) { std::filesystem::create_directory(path); },
                      "is not a regular file"},
        InputKindCase{"LargerThanFourGiB",
                      [](const std::string& path) {
                          WriteBytes(path, MakeWav(PcmSignal{2, 44100, 16, 1000}));
                          // Sparse: no disk space is used for the hole.
                          std::filesystem::resize_file(path, (uint64_t{1} << 32) + 64);
                      },
                      "larger than a WAV header can describe"}),
    [](const ::testing::TestParamInfo<InputKindCase>& row) { return std::string(row.param.name); });

TEST(UnusableWavTest, MissingWavFails) {
    TempDir dir;
    EXPECT_FALSE(BuildPeaks(dir.Path("absent.wav"), dir.Path("w.wfp")).ok);
    EXPECT_FALSE(Cut(dir.Path("absent.wav"), dir.Path("r.wav"), 0, 1000, 0, 1.0f).ok);
}

// ---- Ringtone cut ------------------------------------------------------------------------------

// A working WAV whose every sample is `value`, so each frame's gain can be read back.
Bytes ConstantWav(int channels, int rate, uint32_t frames, int16_t value) {
    return MakeWav16(std::vector<int16_t>(static_cast<std::size_t>(frames) * channels, value),
                     channels, rate);
}

TEST(CutTest, PlainSelectionIsACopyOfTheSourceBytes) {
    TempDir dir;
    const Bytes wav = MakeWav16(MusicSamples(2, 44100, 5 * 44100), 2, 44100);
    WriteBytes(dir.Path("w.wav"), wav);
    for (const auto& [startMs, endMs] : {std::pair{0, 2000}, std::pair{1000, 3000}}) {
        const PassResult result = Cut(dir.Path("w.wav"), dir.Path("r.wav"), startMs, endMs,
                                      FadeLengthForSelection(endMs - startMs), 1.0f);
        ASSERT_TRUE(result.ok) << result.errors;
        EXPECT_EQ(result.cancelled, 0);
        const Bytes ringtone = ReadBytes(dir.Path("r.wav"));
        const auto startByte = static_cast<std::size_t>(startMs) * 176400 / 1000;
        ASSERT_EQ(ringtone.size(), 44u + 2 * 176400);
        EXPECT_TRUE(std::equal(ringtone.begin() + 44, ringtone.end(),
                               wav.begin() + 44 + static_cast<std::ptrdiff_t>(startByte)))
            << startMs;
        EXPECT_TRUE(std::equal(ringtone.begin() + 8, ringtone.begin() + 40, wav.begin() + 8));
        EXPECT_EQ(Le32(ringtone, 40), 2u * 176400);
        EXPECT_EQ(Le32(ringtone, 4), Le32(ringtone, 40) + 36);
        EXPECT_EQ(result.progress.splitting.total, 2u * 44100);
        EXPECT_EQ(result.progress.splitting.positions.back(), 2u * 44100);
        EXPECT_EQ(result.progress.splitting.endCalls, std::vector<int>{0});
    }
}

TEST(CutTest, TwentySecondsFadeInFromZeroAndOutToOneStep) {
    TempDir dir;
    constexpr int16_t kLevel = 30000;
    WriteBytes(dir.Path("w.wav"), ConstantWav(1, 44100, 25 * 44100, kLevel));
    const int32_t fadeMs = FadeLengthForSelection(20000);
    ASSERT_EQ(fadeMs, 2500);
    ASSERT_TRUE(Cut(dir.Path("w.wav"), dir.Path("r.wav"), 0, 20000, fadeMs, 1.0f).ok);
    const std::vector<int16_t> out = ParseWorkingWav(ReadBytes(dir.Path("r.wav"))).samples;
    ASSERT_EQ(out.size(), 20u * 44100);
    constexpr std::size_t kFadeFrames = 110250;
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[kFadeFrames / 2], kLevel / 2);
    EXPECT_LT(out[kFadeFrames - 1], kLevel);
    EXPECT_EQ(out[kFadeFrames], kLevel);
    EXPECT_EQ(out[out.size() / 2], kLevel);
    EXPECT_EQ(out[out.size() - kFadeFrames], kLevel);
    EXPECT_LT(out[out.size() - kFadeFrames + 1], kLevel);
    EXPECT_EQ(out.back(), 0) << "30000 / 110250 truncates to 0";
    EXPECT_TRUE(std::is_sorted(out.begin(), out.begin() + kFadeFrames));
    EXPECT_TRUE(std::is_sorted(out.rbegin(), out.rbegin() + kFadeFrames));
}

TEST(FadeEnvelopeTest, RisesFromZeroAndFallsToOneStep) {
    constexpr uint32_t kFrames = 20 * 44100;
    constexpr uint32_t kFade = 110250;
    EXPECT_EQ(FadeEnvelope(0, 44100, kFrames, 2500, 2500), 0.0f);
    EXPECT_FLOAT_EQ(FadeEnvelope(kFade / 2, 44100, kFrames, 2500, 2500), 0.5f);
    EXPECT_EQ(FadeEnvelope(kFade, 44100, kFrames, 2500, 2500), 1.0f);
    EXPECT_EQ(FadeEnvelope(kFrames - kFade, 44100, kFrames, 2500, 2500), 1.0f);
    EXPECT_FLOAT_EQ(FadeEnvelope(kFrames - 1, 44100, kFrames, 2500, 2500), 1.0f / kFade);
    EXPECT_EQ(FadeEnvelope(5, 44100, kFrames, 0, 0), 1.0f) << "no fade at length 0";
    // Overlapping fades: the fade-in wins.
    EXPECT_FLOAT_EQ(FadeEnvelope(900, 1000, 1000, 1000, 1000), 0.9f);
}

TEST(FadeLengthTest, FollowsTheSelectionLength) {
    const std::vector<std::pair<int32_t, int32_t>> rows{{0, 0},        {3000, 0},    {3001, 1000},
                                                        {5000, 1000},  {5001, 2000}, {10000, 2000},
                                                        {10001, 2500}, {60000, 2500}};
    for (const auto& [selection, fade] : rows) {
        EXPECT_EQ(FadeLengthForSelection(selection), fade) << selection;
    }
}

struct GainCase {
    const char* name;
    int bits;
    int32_t sample; // as stored: signed 16-bit, or the unsigned 8-bit byte
    float amplify;
    int32_t expected;
};

class CutGainTest : public ::testing::TestWithParam<GainCase> {};

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Gain saturates at full scale: a wrapped sample is a loud click in the ringtone.
TEST_P(CutGainTest, GainTruncatesAndSaturates) {
    const GainCase& c = GetParam();
    TempDir dir;
    Bytes wav = c.bits == 16 ? ConstantWav(1, 8000, 100, static_cast<int16_t>(c.sample))
                             : MakeWav(PcmSignal{1, 8000, 8, 100});
    if (c.bits == 8) {
        std::fill(wav.begin() + 44, wav.end(), static_cast<uint8_t>(c.sample));
    }
    WriteBytes(dir.Path("w.wav"), wav);
    ASSERT_TRUE(Cut(dir.Path("w.wav"), dir.Path("r.wav"), 0, 10, 0, c.amplify).ok);
    const Bytes out = ReadBytes(dir.Path("r.wav"));
    ASSERT_EQ(out.size(), 44u + 80 * (c.bits / 8));
    const int32_t first = c.bits == 16 ? Le16(out, 44) : out[44];
    EXPECT_EQ(first, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CutGainTest,
    ::testing::Values(GainCase{"Loud16At150", 16, 30000, 1.5f, 32767},
                      GainCase{"LoudNegative16At150", 16, -30000, 1.5f, -32768},
                      GainCase{"Quiet16At150", 16, 1000, 1.5f, 1500},
                      GainCase{"Negative16At50TruncatesTowardZero", 16, -1001, 0.5f, -500},
                      GainCase{"Unity16Untouched", 16, -32768, 1.0f, -32768},
                      GainCase{"Loud8At150", 8, 250, 1.5f, 255},
                      GainCase{"Low8At150", 8, 5, 1.5f, 0}, GainCase{"Top8At50", 8, 255, 0.5f, 191},
                      GainCase{"Mid8At150", 8, 127, 1.5f, 127},
                      GainCase{"Silent16AtInfinity", 16, 0, kInfinity, 0},
                      GainCase{"Mid8AtInfinity", 8, 127, -kInfinity, 127}),
    [](const ::testing::TestParamInfo<GainCase>& row) { return std::string(row.param.name); });

struct ClampCase {
    const char* name;
    int32_t startMs;
    int32_t endMs;
    uint32_t expectedFrames;
};

class CutClampTest : public ::testing::TestWithParam<ClampCase> {};

// The selection never reaches past the audio, so no stale bytes get into the ringtone.
TEST_P(CutClampTest, SelectionIsClampedToTheAudio) {
    const ClampCase& c = GetParam();
    TempDir dir;
    const Bytes wav = MakeWav16(MusicSamples(2, 1000, 3000), 2, 1000); // 3 s at 1 kHz
    WriteBytes(dir.Path("w.wav"), wav);
    const PassResult result =
        Cut(dir.Path("w.wav"), dir.Path("r.wav"), c.startMs, c.endMs, 0, 1.0f);
    ASSERT_TRUE(result.ok) << result.errors;
    const Bytes ringtone = ReadBytes(dir.Path("r.wav"));
    EXPECT_EQ(Le32(ringtone, 40), c.expectedFrames * 4);
    EXPECT_EQ(ringtone.size(), 44 + c.expectedFrames * 4);
    if (c.expectedFrames == 0) {
        EXPECT_EQ(result.cancelled, -1) << "an empty cut leaves cancelled alone";
    } else {
        const auto start = static_cast<std::ptrdiff_t>(std::max(c.startMs, 0)) * 4;
        EXPECT_TRUE(std::equal(ringtone.begin() + 44, ringtone.end(), wav.begin() + 44 + start));
    }
}

INSTANTIATE_TEST_SUITE_P(Selections, CutClampTest,
                         ::testing::Values(ClampCase{"Inside", 500, 1500, 1000},
                                           ClampCase{"EndPastTheAudio", 2000, 9000, 1000},
                                           ClampCase{"StartPastTheAudio", 4000, 9000, 0},
                                           ClampCase{"Empty", 1000, 1000, 0},
                                           ClampCase{"Reversed", 2000, 1000, 0},
                                           ClampCase{"NegativeStart", -500, 500, 500}),
                         [](const ::testing::TestParamInfo<ClampCase>& row) {
                             return std::string(row.param.name);
                         });

// A fade of any length, even one that overflows 32 bits in frames, lasts at most the cut: the
// whole cut is then one rising ramp, n / N.
TEST(CutTest, FadeLongerThanTheCutIsClampedToIt) {
    constexpr uint32_t kFrames = 1000;
    for (const int32_t fadeMs : {2000, 0x7FFFFFFF}) {
        for (const uint32_t rate : {1000u, 192000u}) {
            EXPECT_EQ(FadeEnvelope(0, rate, kFrames, fadeMs, fadeMs), 0.0f);
            EXPECT_FLOAT_EQ(FadeEnvelope(250, rate, kFrames, fadeMs, fadeMs), 0.25f);
            EXPECT_FLOAT_EQ(FadeEnvelope(kFrames - 1, rate, kFrames, fadeMs, fadeMs), 0.999f);
        }
    }
    TempDir dir;
    WriteBytes(dir.Path("w.wav"), ConstantWav(1, 1000, kFrames, 10000));
    const PassResult cut = Cut(dir.Path("w.wav"), dir.Path("r.wav"), 0, 1000, 0x7FFFFFFF, 1.0f);
    ASSERT_TRUE(cut.ok) << cut.errors;
    const Bytes ringtone = ReadBytes(dir.Path("r.wav"));
    EXPECT_EQ(Le16(ringtone, 44 + 2 * 500), 5000);
}

// Gains far outside 50..150 % saturate and a gain that is not a number silences: no float
// reaches an integer conversion out of its range.
TEST(CutTest, ExtremeGainsSaturateInsteadOfOverflowing) {
    TempDir dir;
    WriteBytes(dir.Path("w.wav"), ConstantWav(1, 1000, 100, -1000));
    const struct {
        float amplify;
        int16_t expected;
    } rows[] = {{1e30f, -32768},
                {-std::numeric_limits<float>::infinity(), 32767},
                {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& row : rows) {
        ASSERT_TRUE(Cut(dir.Path("w.wav"), dir.Path("r.wav"), 0, 100, 0, row.amplify).ok);
        EXPECT_EQ(Le16(ReadBytes(dir.Path("r.wav")), 44 + 2 * 50), row.expected) << row.amplify;
    }
}

TEST(CutTest, OutputThatIsTheWorkingWavIsRefused) {
    TempDir dir;
    const Bytes wav = MakeWav(PcmSignal{2, 44100, 16, 5000});
    WriteBytes(dir.Path("w.wav"), wav);
    EXPECT_FALSE(Cut(dir.Path("w.wav"), dir.Path("w.wav"), 0, 50, 0, 1.0f).ok);
    EXPECT_FALSE(BuildPeaks(dir.Path("w.wav"), dir.Path("w.wav")).ok);
    EXPECT_EQ(ReadBytes(dir.Path("w.wav")), wav);
}

} // namespace
} // namespace orvanta::test
