#include "ConversionEngine.h"
#include "EngineHarness.h"
#include "ProgressSteps.h"
#include "TestSources.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace orvanta::test {
namespace {

// Goes on until the `cancelAt`th step (0 = never), whichever piece's thread asks.
class CancellingProgress : public ProgressSteps {
public:
    explicit CancellingProgress(int cancelAt) : m_cancelAt(cancelAt) {}
    int BeginLoading(uint32_t /*total*/) override { return 1; }
    int StepLoading(uint32_t /*position*/) override {
        return m_cancelAt == 0 || ++m_steps < m_cancelAt ? 1 : 0;
    }

private:
    const int m_cancelAt;
    std::atomic<int> m_steps{0};
};

struct Outcome {
    bool ok = false;
    int cancelled = -1;
    std::optional<Bytes> wav; // none when no file was left at the WAV's path
};

Outcome Decode(const std::string& source, const std::string& wav, int pieces,
               std::vector<uint32_t> splitFrames = {}, int cancelAt = 0) {
    const LogCapture quiet;
    CancellingProgress progress(cancelAt);
    const ScopedProgressSteps installed(progress);
    DecodeOptions options;
    options.pieces = pieces;
    options.splitFrames = std::move(splitFrames);
    ConversionEngine engine;
    Outcome outcome;
    outcome.ok = engine.Open() && engine.DecodeToWav(source, wav, outcome.cancelled, options);
    if (std::filesystem::exists(wav)) {
        outcome.wav = ReadBytes(wav);
    }
    return outcome;
}

// `samples` encoded by `tool` with `options`; empty when the tool is missing or refuses.
Bytes Encoded(const TempDir& dir, const std::string& tool, const std::string& options,
              const std::vector<int16_t>& samples, int channels, int rate) {
    WriteBytes(dir.Path("in.wav"), MakeWav16(samples, channels, rate));
    const std::string coded = dir.Path("coded");
    std::filesystem::remove(coded);
    if (RunShell(tool + " --quiet " + options + " '" + dir.Path("in.wav") + "' '" + coded +
                 "' >/dev/null 2>&1") != 0) {
        return {};
    }
    return ReadBytes(coded);
}

// ---- Every kind of stream, whole, in 1, 2 and 4 pieces ---------------------------------------

struct CorpusCase {
    const char* name;
    const char* encoder; // "lame" or "twolame"; nullptr = our layer I frames
    const char* options;
    int channels;
    int rate;
    // With no info frame, LAME's front end keeps the 576 samples of encoder delay that we drop.
    uint32_t lameKeepsLeadingFrames = 0;
};

void PrintTo(const CorpusCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitCorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(SplitCorpusTest, EveryPieceCountWritesLameDecodeBytes) {
    const CorpusCase& c = GetParam();
    TempDir dir;
    const Bytes stream =
        c.encoder == nullptr
            ? MakeLayer1Stream(c.channels, 1500)
            : Encoded(dir, c.encoder, c.options,
                      MusicSamples(c.channels, c.rate, static_cast<uint32_t>(c.rate) * 12),
                      c.channels, c.rate);
    ASSERT_FALSE(stream.empty()) << c.encoder << " refused " << c.options;
    const std::string source = dir.Path("song.mp3");
    WriteBytes(source, stream);
    ASSERT_EQ(RunShell("lame --quiet --decode '" + source + "' '" + dir.Path("lame.wav") + "'"), 0);
    const WorkingWav lame = ParseWorkingWav(ReadBytes(dir.Path("lame.wav")));

    const Outcome one = Decode(source, dir.Path("one.wav"), 1);
    ASSERT_TRUE(one.ok && one.cancelled == 0 && one.wav);
    const WorkingWav ours = ParseWorkingWav(*one.wav);
    EXPECT_EQ(ours.channels, lame.channels);
    EXPECT_EQ(ours.sampleRate, lame.sampleRate);
    ASSERT_GT(lame.samples.size(), c.lameKeepsLeadingFrames * lame.channels);
    EXPECT_TRUE(std::equal(ours.samples.begin(), ours.samples.end(),
                           lame.samples.begin() + c.lameKeepsLeadingFrames * lame.channels,
                           lame.samples.end()));
    for (const int pieces : {2, 4}) {
        const Outcome split = Decode(source, dir.Path("split.wav"), pieces);
        EXPECT_TRUE(split.ok && split.cancelled == 0) << pieces << " pieces";
        EXPECT_TRUE(split.wav == one.wav) << pieces << " pieces";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, SplitCorpusTest,
    ::testing::Values(
        CorpusCase{"Cbr128Stereo", "lame", "-b 128", 2, 44100},
        CorpusCase{"VbrWithInfoFrame", "lame", "-V 2", 2, 44100},
        CorpusCase{"VbrWithoutInfoFrame", "lame", "-V 2 -t", 2, 44100, 576},
        CorpusCase{"Mono64", "lame", "-b 64 -m m", 1, 44100},
        CorpusCase{"Mpeg2At22050", "lame", "-b 64", 2, 22050},
        CorpusCase{"Mpeg25At8000", "lame", "-b 8 -m m", 1, 8000, 576},
        CorpusCase{"FreeFormat", "lame", "--freeformat -b 200", 2, 44100},
        CorpusCase{"Layer2Stereo", "twolame", "-b 192", 2, 48000},
        CorpusCase{"Layer2Mono", "twolame", "-m m -b 96", 1, 44100},
        CorpusCase{"Layer1Stereo", nullptr, "", 2, 48000},
        CorpusCase{"Id3v2Tagged", "lame", "--id3v2-only --tt Ringtone -b 128", 2, 44100},
        CorpusCase{"Id3v1Tagged", "lame", "--id3v1-only --tt Ringtone -b 128", 2, 44100}),
    [](const ::testing::TestParamInfo<CorpusCase>& row) { return std::string(row.param.name); });

// ---- A split forced onto a hard frame ----------------------------------------------------------

struct Frame {
    std::size_t offset;
    std::size_t length;
    std::size_t mainDataStart; // just after the side information
    int mainDataBegin;         // how far back in the reservoir the frame's main data starts
};

// The layer III frames of a stream that starts with a header and chains header to header (no
// tag before it, no free format), up to the first header that breaks the chain.
std::vector<Frame> LayerIIIFrames(const Bytes& s) {
    static constexpr std::array<int, 15> kMpeg1Kbps{0,   32,  40,  48,  56,  64,  80, 96,
                                                    112, 128, 160, 192, 224, 256, 320};
    static constexpr std::array<int, 15> kMpeg2Kbps{0,  8,  16, 24,  32,  40,  48, 56,
                                                    64, 80, 96, 112, 128, 144, 160};
    static constexpr std::array<int, 3> kMpeg1Rates{44100, 48000, 32000};
    std::vector<Frame> frames;
    for (std::size_t at = 0; at + 8 <= s.size();) {
        const int version = (s[at + 1] >> 3) & 3; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
        const auto bitrateIndex = static_cast<std::size_t>(s[at + 2] >> 4);
        const auto rateIndex = static_cast<std::size_t>((s[at + 2] >> 2) & 3);
        if (s[at] != 0xFF || (s[at + 1] & 0xE6) != 0xE2 || version == 1 || bitrateIndex == 0 ||
            bitrateIndex == 15 || rateIndex == 3) {
            break;
        }
        const bool mpeg1 = version == 3;
        const int rate = kMpeg1Rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
        const int kbps = (mpeg1 ? kMpeg1Kbps : kMpeg2Kbps)[bitrateIndex];
        const auto length = static_cast<std::size_t>((mpeg1 ? 144000 : 72000) * kbps / rate +
                                                     ((s[at + 2] >> 1) & 1));
        const std::size_t side = at + 4 + ((s[at + 1] & 1) == 0 ? 2 : 0);
        const bool mono = (s[at + 3] >> 6) == 3;
        const std::size_t sideBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        frames.push_back(
            {at, length, side + sideBytes, mpeg1 ? (s[side] << 1 | s[side + 1] >> 7) : s[side]});
        at += length;
    }
    return frames;
}

// Mono bursts of loud noise after silence: the quiet frames fill the bit reservoir, the first
// loud one drains it, so its main data starts as far back as the format lets it.
std::vector<int16_t> NoiseBursts(int rate, uint32_t frames) {
    std::vector<int16_t> samples(frames);
    uint32_t noise = 7;
    for (uint32_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const bool loud = i % static_cast<uint32_t>(rate) > static_cast<uint32_t>(rate) * 7 / 10;
        samples[i] = loud ? static_cast<int16_t>(static_cast<int32_t>(noise) >> 16) : 0;
    }
    return samples;
}

Bytes Garbage(std::size_t count) {
    Bytes bytes(count);
    uint32_t state = 12345;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

struct HardStream {
    Bytes bytes;
    uint32_t hardFrame = 0;
};

Bytes Music128(int rate, uint32_t seconds, bool infoFrame = true) {
    return EncodeMp3(MusicSamples(2, rate, static_cast<uint32_t>(rate) * seconds), 2, rate, 128,
                     infoFrame);
}

HardStream MiddleOfMusic(const std::function<void(Bytes&, const Frame&)>& damage) {
    HardStream stream{Music128(44100, 8)};
    const std::vector<Frame> frames = LayerIIIFrames(stream.bytes);
    stream.hardFrame = static_cast<uint32_t>(frames.size() / 2);
    damage(stream.bytes, frames[stream.hardFrame]);
    return stream;
}

struct HardCase {
    const char* name;
    std::function<HardStream(const TempDir&)> build;
    bool oneThreadSucceeds; // else the split decode must merely fail or succeed alike
};

void PrintTo(const HardCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitPointTest : public ::testing::TestWithParam<HardCase> {};

// A split on the hard frame, on either neighbour, or on both neighbours at once: the call's
// result and the working WAV are exactly what the one-thread decode gives.
TEST_P(SplitPointTest, SplitOnAHardFrameChangesNothing) {
    TempDir dir;
    const HardStream stream = GetParam().build(dir);
    ASSERT_GT(stream.hardFrame, 0u);
    const std::string source = dir.Path("song.mp3");
    WriteBytes(source, stream.bytes);
    const Outcome one = Decode(source, dir.Path("one.wav"), 1);
    if (GetParam().oneThreadSucceeds) {
        ASSERT_TRUE(one.ok && one.cancelled == 0 && one.wav);
    }
    const uint32_t k = stream.hardFrame;
    for (const std::vector<uint32_t>& splits :
         std::vector<std::vector<uint32_t>>{{k - 1}, {k}, {k + 1}, {k - 1, k + 1}}) {
        std::filesystem::remove(dir.Path("split.wav"));
        const auto pieces = static_cast<int>(splits.size() + 1);
        const Outcome split = Decode(source, dir.Path("split.wav"), pieces, splits);
        EXPECT_EQ(split.ok, one.ok) << "split at " << splits.front();
        EXPECT_EQ(split.cancelled, one.cancelled) << "split at " << splits.front();
        EXPECT_TRUE(split.wav == one.wav)
            << "split at " << splits.front() << ", " << splits.size() << " splits";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SplitPointTest,
    ::testing::Values(
        HardCase{"FullReservoir",
                 [](const TempDir& dir) {
                     HardStream stream{Encoded(dir, "lame", "--resample 44.1 -b 32 -m m",
                                               NoiseBursts(44100, 44100 * 6), 1, 44100)};
                     const std::vector<Frame> frames = LayerIIIFrames(stream.bytes);
                     const auto fullest = std::max_element(
                         frames.begin(), frames.end(), [](const Frame& a, const Frame& b) {
                             return a.mainDataBegin < b.mainDataBegin;
                         });
                     EXPECT_EQ(fullest->mainDataBegin, 511) << "LAME no longer fills it";
                     stream.hardFrame = static_cast<uint32_t>(fullest - frames.begin());
                     return stream;
                 },
                 true},
        HardCase{"DamagedMainData",
                 [](const TempDir&) {
                     return MiddleOfMusic([](Bytes& bytes, const Frame& frame) {
                         const Bytes garbage =
                             Garbage(frame.offset + frame.length - frame.mainDataStart);
                         std::copy(garbage.begin(), garbage.end(),
                                   bytes.begin() +
                                       static_cast<std::ptrdiff_t>(frame.mainDataStart));
                     });
                 },
                 true},
        HardCase{"DamagedHeader",
                 [](const TempDir&) {
                     return MiddleOfMusic([](Bytes& bytes, const Frame& frame) {
                         bytes[frame.offset] = 0;
                         bytes[frame.offset + 1] = 0;
                     });
                 },
                 true},
        HardCase{"JunkBeforeFrame",
                 [](const TempDir&) {
                     return MiddleOfMusic([](Bytes& bytes, const Frame& frame) {
                         const Bytes junk = Garbage(333);
                         bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(frame.offset),
                                      junk.begin(), junk.end());
                     });
                 },
                 true},
        HardCase{"RateChange",
                 [](const TempDir&) {
                     HardStream stream{Music128(44100, 4, false)};
                     stream.hardFrame = static_cast<uint32_t>(LayerIIIFrames(stream.bytes).size());
                     const Bytes faster = Music128(48000, 4, false);
                     stream.bytes.insert(stream.bytes.end(), faster.begin(), faster.end());
                     return stream;
                 },
                 false},
        HardCase{"RightAfterInfoFrame",
                 [](const TempDir& dir) {
                     HardStream stream{
                         Encoded(dir, "lame", "-V 2", MusicSamples(2, 44100, 44100 * 8), 2, 44100),
                         1};
                     const std::string first(stream.bytes.begin(), stream.bytes.begin() + 64);
                     EXPECT_NE(first.find("Xing"), std::string::npos) << "no Xing frame";
                     return stream;
                 },
                 true},
        HardCase{"LastFrames",
                 [](const TempDir&) {
                     HardStream stream{Music128(44100, 6)};
                     const std::vector<Frame> frames = LayerIIIFrames(stream.bytes);
                     EXPECT_EQ(frames.back().offset + frames.back().length, stream.bytes.size())
                         << "the walker lost the chain";
                     stream.hardFrame = static_cast<uint32_t>(frames.size() - 1);
                     return stream;
                 },
                 true}),
    [](const ::testing::TestParamInfo<HardCase>& row) { return std::string(row.param.name); });

// ---- Cancel ------------------------------------------------------------------------------------

// A cancel while four pieces decode leaves the working WAV as it was (or absent) and no piece's
// temporary file behind.
TEST(SplitCancelTest, CancelLeavesNoWavAndNoTemporaryFile) {
    TempDir dir;
    const std::string source = dir.Path("song.mp3");
    WriteBytes(source, Music128(44100, 20));
    const std::string wav = dir.Path("song.wav");
    for (const bool hadPrevious : {false, true}) {
        const Bytes previous{'o', 'l', 'd'};
        if (hadPrevious) {
            WriteBytes(wav, previous);
        }
        const Outcome outcome = Decode(source, wav, 4, {}, 40);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.cancelled, 1);
        EXPECT_TRUE(outcome.wav == (hadPrevious ? std::optional<Bytes>(previous) : std::nullopt));
        EXPECT_EQ(FolderEntries(dir), (hadPrevious ? std::set<std::string>{"song.mp3", "song.wav"}
                                                   : std::set<std::string>{"song.mp3"}));
    }
}

} // namespace
} // namespace orvanta::test
