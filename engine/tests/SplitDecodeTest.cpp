#include "ConversionEngine.h"
#include "EngineHarness.h"
#include "MpegFrameChain.h"
#include "ProgressSteps.h"
#include "TestSources.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

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
    int piecesUsed = 0;
};

Outcome Decode(const std::string& source, const std::string& wav, int pieces,
               std::vector<uint32_t> splitFrames = {}, int cancelAt = 0) {
    const LogCapture quiet;
    CancellingProgress progress(cancelAt);
    const ScopedProgressSteps installed(progress);
    DecodeOptions options;
    options.pieces = pieces;
    options.splitFrames = std::move(splitFrames);
    Outcome outcome;
    options.piecesUsed = &outcome.piecesUsed;
    ConversionEngine engine;
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
    bool oneThreadOnly = false; // no header tells a free-format frame's length
};

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
        EXPECT_EQ(split.piecesUsed, c.oneThreadOnly ? 1 : pieces);
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
        CorpusCase{"FreeFormat", "lame", "--freeformat -b 200", 2, 44100, 0, true},
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

// `bytes` with `replaced` of them at `at` replaced by `with`.
Bytes Spliced(Bytes bytes, std::size_t at, std::size_t replaced, const Bytes& with) {
    const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    bytes.insert(bytes.erase(from, from + static_cast<std::ptrdiff_t>(replaced)), with.begin(),
                 with.end());
    return bytes;
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

Bytes Music128(int rate, uint32_t seconds, bool infoFrame = true) {
    return EncodeMp3(MusicSamples(2, rate, static_cast<uint32_t>(rate) * seconds), 2, rate, 128,
                     infoFrame);
}

struct Reservoir {
    Bytes bytes;
    std::size_t fullestFrame = 0; // the frame whose main data starts furthest back
    int mainDataBegin = 0;        // and how far, in bytes
};

Reservoir NoiseBurstStream(const TempDir& dir, const std::string& options, int rate) {
    Reservoir stream{
        Encoded(dir, "lame", options, NoiseBursts(rate, static_cast<uint32_t>(rate) * 6), 1, rate)};
    const std::vector<Frame> frames = LayerIIIFrames(stream.bytes);
    const auto fullest =
        std::max_element(frames.begin(), frames.end(), [](const Frame& a, const Frame& b) {
            return a.mainDataBegin < b.mainDataBegin;
        });
    if (fullest != frames.end()) {
        stream.fullestFrame = static_cast<std::size_t>(fullest - frames.begin());
        stream.mainDataBegin = fullest->mainDataBegin;
    }
    return stream;
}

// A split on each hard frame, on either neighbour, or on both neighbours at once: the call's
// result and the working WAV are exactly what the one-thread decode gives.
TEST(SplitPointTest, SplitOnAHardFrameChangesNothing) {
    TempDir dir;
    // The reservoir at the most its 9 (MPEG-1) or 8 bits (MPEG-2) can say; 26-byte frames make
    // the MPEG-2 one reach back further than any other.
    const Reservoir mpeg1 = NoiseBurstStream(dir, "--resample 44.1 -b 32 -m m", 44100);
    ASSERT_EQ(mpeg1.mainDataBegin, 511) << "LAME no longer fills the reservoir";
    const Reservoir mpeg2 = NoiseBurstStream(dir, "--resample 22.05 -b 8 -m m", 22050);
    ASSERT_EQ(mpeg2.mainDataBegin, 255) << "LAME no longer fills the reservoir";
    const Bytes music = Music128(44100, 8);
    const std::vector<Frame> frames = LayerIIIFrames(music);
    ASSERT_EQ(frames.back().offset + frames.back().length, music.size()) << "walker lost the chain";
    const std::size_t middle = frames.size() / 2;
    const Frame& m = frames[middle];
    const std::size_t mainData = m.offset + m.length - m.mainDataStart;
    const Bytes slower = Music128(44100, 4, false);
    const Bytes vbr = Encoded(dir, "lame", "-V 2", MusicSamples(2, 44100, 44100 * 8), 2, 44100);
    ASSERT_NE(std::string(vbr.begin(), vbr.begin() + 64).find("Xing"), std::string::npos);
    const struct {
        const char* name;
        Bytes bytes;
        std::size_t hardFrame;
        bool oneThreadSucceeds; // else the split decode must merely fail or succeed alike
        // Some split is taken; a broken chain of frames keeps the stream on one thread.
        bool mustSplit;
    } cases[] = {
        {"full MPEG-1 reservoir", mpeg1.bytes, mpeg1.fullestFrame, true, true},
        {"full MPEG-2 reservoir", mpeg2.bytes, mpeg2.fullestFrame, true, true},
        {"damaged main data", Spliced(music, m.mainDataStart, mainData, Garbage(mainData)), middle,
         true, true},
        {"damaged header", Spliced(music, m.offset, 2, Bytes(2, 0)), middle, true, false},
        {"junk before the frame", Spliced(music, m.offset, 0, Garbage(333)), middle, true, false},
        {"rate change", Spliced(slower, slower.size(), 0, Music128(48000, 4, false)),
         LayerIIIFrames(slower).size(), false, false},
        {"right after the Xing frame", vbr, 1, true, true},
        {"last frame", music, frames.size() - 1, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = dir.Path("song.mp3");
        WriteBytes(source, c.bytes);
        std::filesystem::remove(dir.Path("one.wav"));
        const Outcome one = Decode(source, dir.Path("one.wav"), 1);
        ASSERT_TRUE(!c.oneThreadSucceeds || (one.ok && one.cancelled == 0 && one.wav));
        const auto k = static_cast<uint32_t>(c.hardFrame);
        bool anySplit = false;
        for (const std::vector<uint32_t>& splits :
             std::vector<std::vector<uint32_t>>{{k - 1}, {k}, {k + 1}, {k - 1, k + 1}}) {
            std::filesystem::remove(dir.Path("split.wav"));
            const Outcome split =
                Decode(source, dir.Path("split.wav"), static_cast<int>(splits.size() + 1), splits);
            EXPECT_EQ(split.ok, one.ok) << "split at " << splits.front();
            EXPECT_EQ(split.cancelled, one.cancelled) << "split at " << splits.front();
            EXPECT_TRUE(split.wav == one.wav)
                << "split at " << splits.front() << ", " << splits.size() << " splits";
            anySplit = anySplit || split.piecesUsed > 1;
        }
        EXPECT_TRUE(anySplit || !c.mustSplit);
    }
}

// A frame whose main data is said to begin further back than the frames before it left in the
// reservoir makes the decoder read whatever its buffer held before: no piece may start past it,
// so the frames walked for splitting end there (a fuzzed stream like it decoded differently
// split).
TEST(SplitPointTest, FramesAreWalkedOnlyWhileTheReservoirHoldsWhatTheyAskFor) {
    TempDir dir;
    // 26-byte MPEG-2 frames hold 13 bytes of main data each.
    Bytes stream = Encoded(dir, "lame", "--resample 22.05 -b 8 -m m",
                           MusicSamples(1, 22050, 22050 * 4), 1, 22050);
    const std::vector<Frame> frames = LayerIIIFrames(stream);
    // After a frame that reached back less than 200 bytes, at most 13 + 200 are held: the
    // 255 the field can say is too far.
    std::size_t k = 20;
    while (k < frames.size() && frames[k - 1].mainDataBegin >= 200) {
        ++k;
    }
    ASSERT_LT(k, frames.size());
    stream[frames[k].offset + 4] = 0xFF; // main_data_begin = 255
    WriteBytes(dir.Path("deep.mp3"), stream);
    const int descriptor = ::open(dir.Path("deep.mp3").c_str(), O_RDONLY);
    ASSERT_GE(descriptor, 0);
    const MpegFrameChain chain = WalkMpegFrameChain(descriptor, 0, stream.size());
    ::close(descriptor);
    EXPECT_EQ(chain.Count(), k);
}

// ---- Cancel ------------------------------------------------------------------------------------

// A cancel while four pieces decode leaves the working WAV as it was (or absent), and no piece's
// file behind, beside the WAV or in the temporary folder.
TEST(SplitCancelTest, CancelLeavesNoWavAndNoTemporaryFile) {
    TempDir dir;
    const std::string source = dir.Path("song.mp3");
    WriteBytes(source, Music128(44100, 20));
    const std::string wav = dir.Path("song.wav");
    const std::string tmp = dir.Path("tmp");
    std::filesystem::create_directory(tmp);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::optional<std::string> savedTmp =
        oldTmp == nullptr ? std::nullopt : std::optional<std::string>(oldTmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    for (const bool hadPrevious : {false, true}) {
        const Bytes previous{'o', 'l', 'd'};
        if (hadPrevious) {
            WriteBytes(wav, previous);
        }
        const Outcome outcome = Decode(source, wav, 4, {}, 40);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.cancelled, 1);
        EXPECT_TRUE(outcome.wav == (hadPrevious ? std::optional<Bytes>(previous) : std::nullopt));
        EXPECT_EQ(FolderEntries(dir),
                  (hadPrevious ? std::set<std::string>{"song.mp3", "song.wav", "tmp"}
                               : std::set<std::string>{"song.mp3", "tmp"}));
        EXPECT_TRUE(std::filesystem::is_empty(tmp));
    }
    if (savedTmp) {
        ::setenv("TMPDIR", savedTmp->c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

} // namespace
} // namespace orvanta::test
