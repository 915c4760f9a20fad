#include "EngineHarness.h"
#include "InputReader.h"
#include "LameHandles.h"
#include "TestSources.h"

#include <algorithm>
#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

// An MPEG file made by a Debian encoder at test time, and the name it is decoded under.
struct ToolCase {
    const char* name;
    const char* encoder; // "lame" or "twolame"
    const char* options;
    int channels;
    int sampleRate;
    uint32_t frames;
    const char* fileName;
    // With no info frame to tell the encoder delay, we drop LAME's usual 576 samples along
    // with the decoder's 529; LAME's own front end asks an uninitialised context for that
    // delay, gets 0 and keeps those samples. Everything after them is identical.
    uint32_t lameKeepsLeadingFrames = 0;
};

// `reference` with its first `frames` sample frames removed and its header to match.
Bytes WithoutLeadingFrames(const Bytes& reference, uint32_t frames) {
    const WorkingWav parsed = ParseWorkingWav(reference);
    const uint32_t dropped = frames * parsed.blockAlign;
    Bytes out(reference.begin(), reference.begin() + 44);
    out.insert(out.end(), reference.begin() + 44 + dropped, reference.end());
    const auto putLE32 = [&out](std::size_t at, uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) {
            out[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    putLE32(4, parsed.riffLength - dropped);
    putLE32(40, parsed.dataLength - dropped);
    return out;
}

class LameToolComparisonTest : public ::testing::TestWithParam<ToolCase> {};

// The working WAV must be byte for byte what LAME's own decoder front end writes: the same
// decoder, the same delay and padding removal, the same header.
TEST_P(LameToolComparisonTest, WorkingWavEqualsLameDecodeOutput) {
    const ToolCase& c = GetParam();
    TempDir dir;
    const std::string pcm = dir.Path("in.wav");
    const std::string coded = dir.Path(c.fileName);
    WriteBytes(
        pcm, MakeWav16(MusicSamples(c.channels, c.sampleRate, c.frames), c.channels, c.sampleRate));
    ASSERT_EQ(RunShell(std::string(c.encoder) + " --quiet " + c.options + " " + Quoted(pcm) + " " +
                       Quoted(coded) + " >/dev/null 2>&1"),
              0)
        << c.encoder << " is missing or refused " << c.options;
    const std::string reference = dir.Path("reference.wav");
    ASSERT_EQ(RunShell("lame --quiet --decode " + Quoted(coded) + " " + Quoted(reference)), 0);

    const DecodeOutcome outcome = DecodeFile(coded, dir.Path("ours.wav"));
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    const Bytes ours = ReadBytes(dir.Path("ours.wav"));
    const Bytes expected = WithoutLeadingFrames(ReadBytes(reference), c.lameKeepsLeadingFrames);
    EXPECT_EQ(ours.size(), expected.size());
    EXPECT_TRUE(ours == expected)
        << "first difference at byte "
        << std::mismatch(ours.begin(), ours.end(), expected.begin(), expected.end()).first -
               ours.begin();
    const WorkingWav parsed = ParseWorkingWav(ours);
    EXPECT_EQ(parsed.dataLength + 44, ours.size());
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, LameToolComparisonTest,
    ::testing::Values(
        ToolCase{"Cbr128Stereo", "lame", "-b 128", 2, 44100, 200000, "a.mp3"},
        ToolCase{"Cbr64Mono", "lame", "-b 64 -m m", 1, 44100, 100000, "a.mp3"},
        ToolCase{"Resampled22050", "lame", "--resample 22.05 -b 64", 2, 44100, 100000, "a.mp3"},
        ToolCase{"Vbr", "lame", "-V 2", 2, 44100, 150000, "a.mp3"},
        ToolCase{"NoTagFrame", "lame", "-t -b 96", 2, 44100, 100000, "a.mp3", 576},
        ToolCase{"Mono11025HasNoTagFrame", "lame", "--resample 11.025 -m m -b 16", 1, 44100, 80000,
                 "a.mp3", 576},
        ToolCase{"Mpeg25At8000", "lame", "-b 8 -m m", 1, 8000, 40000, "a.mp3", 576},
        ToolCase{"Id3v2Tag", "lame", "--id3v2-only --tt Ringtone --ta Tester -b 128", 2, 44100,
                 60000, "a.mp3"},
        ToolCase{"Id3v1Tag", "lame", "--id3v1-only --tt Ringtone -b 128", 2, 44100, 60000, "a.mp3"},
        ToolCase{"FreeFormat", "lame", "--freeformat -b 200", 2, 44100, 60000, "a.mp3"},
        ToolCase{"ShorterThanOneFrame", "lame", "-b 128", 2, 44100, 500, "a.mp3"},
        ToolCase{"Layer2Stereo", "twolame", "-b 192", 2, 48000, 100000, "a.mp2"},
        ToolCase{"Layer2Mono", "twolame", "-m m -b 96", 1, 44100, 100000, "a.mp2"},
        ToolCase{"Layer2At22050", "twolame", "-b 64", 2, 22050, 50000, "a.mp2"}),
    [](const ::testing::TestParamInfo<ToolCase>& row) { return std::string(row.param.name); });

struct PrefixCase {
    const char* name;
    int channels;
    const char* extension;
    uint32_t id3Bytes; // 0 = no tag
    std::size_t junkBytes;
};

class MpegPrefixTest : public ::testing::TestWithParam<PrefixCase> {};

// LAME's info frame carries delay and padding, so a tagged MP3 decodes to exactly the frames
// that were encoded, whatever stands before the first frame and whichever MPEG name it has.
TEST_P(MpegPrefixTest, DecodesFromTheFirstValidFrame) {
    const PrefixCase& c = GetParam();
    constexpr uint32_t kFrames = 30000;
    constexpr int kRate = 44100;
    const Bytes mp3 = EncodeMp3(MusicSamples(c.channels, kRate, kFrames), c.channels, kRate, 128);
    Bytes input = c.junkBytes > 0 ? WithJunk(mp3, c.junkBytes) : mp3;
    if (c.id3Bytes > 0) {
        input = WithId3v2(input, c.id3Bytes);
    }
    TempDir dir;
    WriteBytes(dir.Path("plain.mp3"), mp3);
    WriteBytes(dir.Path(std::string("song") + c.extension), input);

    const DecodeOutcome plain = DecodeFile(dir.Path("plain.mp3"), dir.Path("plain.wav"));
    ASSERT_TRUE(plain.ok) << plain.errors;
    const WorkingWav parsed = ParseWorkingWav(ReadBytes(dir.Path("plain.wav")));
    EXPECT_EQ(parsed.channels, c.channels);
    EXPECT_EQ(parsed.sampleRate, static_cast<uint32_t>(kRate));
    EXPECT_EQ(parsed.dataLength, kFrames * 2 * static_cast<uint32_t>(c.channels));

    const DecodeOutcome prefixed =
        DecodeFile(dir.Path(std::string("song") + c.extension), dir.Path("prefixed.wav"));
    ASSERT_TRUE(prefixed.ok) << prefixed.errors;
    EXPECT_TRUE(ReadBytes(dir.Path("prefixed.wav")) == ReadBytes(dir.Path("plain.wav")));
    if (c.id3Bytes > 0) {
        EXPECT_NE(prefixed.infos.find("ID3v2 found"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, MpegPrefixTest,
                         ::testing::Values(PrefixCase{"StereoMp3", 2, ".mp3", 0, 0},
                                           PrefixCase{"MonoMp3", 1, ".mp3", 0, 0},
                                           PrefixCase{"LargeId3v2", 2, ".mp3", 300000, 0},
                                           PrefixCase{"OneJunkByte", 2, ".mp3", 0, 1},
                                           PrefixCase{"Id3v2ThenJunk", 2, ".mpg", 4096, 100}),
                         [](const ::testing::TestParamInfo<PrefixCase>& row) {
                             return std::string(row.param.name);
                         });

class Layer1Test : public ::testing::TestWithParam<int> {};

// No Debian tool writes layer I, so the frames come from our own generator; LAME's front end
// still decodes them, which makes it the reference.
TEST_P(Layer1Test, DecodesLikeLameAndDropsTheDecoderDelay) {
    const int channels = GetParam();
    constexpr int kFrames = 50;
    TempDir dir;
    WriteBytes(dir.Path("a.mp1"), MakeLayer1Stream(channels, kFrames));
    const DecodeOutcome outcome = DecodeFile(dir.Path("a.mp1"), dir.Path("ours.wav"));
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    EXPECT_NE(outcome.infos.find("Layer I)"), std::string::npos) << outcome.infos;

    const Bytes ours = ReadBytes(dir.Path("ours.wav"));
    const WorkingWav parsed = ParseWorkingWav(ours);
    EXPECT_EQ(parsed.channels, channels);
    EXPECT_EQ(parsed.sampleRate, 48000u);
    EXPECT_EQ(parsed.dataLength, (kFrames * 384u - 241u) * 2 * static_cast<uint32_t>(channels));
    EXPECT_TRUE(std::any_of(parsed.samples.begin(), parsed.samples.end(),
                            [](int16_t s) { return s != 0; }));

    ASSERT_EQ(RunShell("lame --quiet --decode '" + dir.Path("a.mp1") + "' '" +
                       dir.Path("reference.wav") + "'"),
              0);
    EXPECT_TRUE(ours == ReadBytes(dir.Path("reference.wav")));
}

INSTANTIATE_TEST_SUITE_P(Channels, Layer1Test, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& row) {
                             return row.param == 1 ? std::string("Mono") : std::string("Stereo");
                         });

enum class Layer { I, II, III };

struct LayerCase {
    Layer layer;
    int channels;
};

// One stream of each layer, made once: layer I by our generator, II by twolame, III by LAME.
Bytes LayerStream(const LayerCase& c, const TempDir& dir) {
    switch (c.layer) {
    case Layer::I:
        return MakeLayer1Stream(c.channels, 40);
    case Layer::II: {
        WriteBytes(dir.Path("in.wav"),
                   MakeWav16(MusicSamples(c.channels, 48000, 30000), c.channels, 48000));
        const std::string mode = c.channels == 1 ? " -m m" : "";
        if (RunShell("twolame --quiet" + mode + " -b 128 '" + dir.Path("in.wav") + "' '" +
                     dir.Path("l2.mp2") + "' >/dev/null 2>&1") != 0) {
            return {};
        }
        return ReadBytes(dir.Path("l2.mp2"));
    }
    case Layer::III:
        return EncodeMp3(MusicSamples(c.channels, 44100, 30000), c.channels, 44100, 128);
    }
    return {};
}

class MpegExtensionTest : public ::testing::TestWithParam<LayerCase> {};

// Every MPEG name means "some layer"; the content decides which, and a tag or junk before the
// first frame changes nothing in what comes out.
TEST_P(MpegExtensionTest, EveryExtensionAndPrefixDecodesTheSameSamples) {
    const LayerCase& c = GetParam();
    static constexpr std::array<const char*, 3> kLayerNames{"Layer I)", "Layer II)", "Layer III)"};
    TempDir dir;
    const Bytes stream = LayerStream(c, dir);
    ASSERT_FALSE(stream.empty()) << "the test encoder failed";
    WriteBytes(dir.Path("plain.mp3"), stream);
    const DecodeOutcome plain = DecodeFile(dir.Path("plain.mp3"), dir.Path("plain.wav"));
    ASSERT_TRUE(plain.ok) << plain.errors;
    EXPECT_NE(plain.infos.find(kLayerNames[static_cast<std::size_t>(c.layer)]), std::string::npos)
        << plain.infos;
    const Bytes expected = ReadBytes(dir.Path("plain.wav"));
    EXPECT_EQ(ParseWorkingWav(expected).channels, c.channels);

    const std::vector<std::pair<const char*, Bytes>> variants{
        {"plain", stream}, {"id3", WithId3v2(stream, 2000)}, {"junk", WithJunk(stream, 501)}};
    for (const char* extension : {".mp3", ".mp2", ".mp1", ".mpg"}) {
        for (const auto& [variant, bytes] : variants) {
            const std::string source = dir.Path(std::string(variant) + extension);
            WriteBytes(source, bytes);
            const DecodeOutcome outcome = DecodeFile(source, dir.Path("out.wav"));
            ASSERT_TRUE(outcome.ok) << variant << extension << ": " << outcome.errors;
            EXPECT_TRUE(ReadBytes(dir.Path("out.wav")) == expected) << variant << extension;
        }
    }
}

std::string LayerCaseName(const ::testing::TestParamInfo<LayerCase>& row) {
    static constexpr std::array<const char*, 3> kNames{"LayerI", "LayerII", "LayerIII"};
    return std::string(kNames[static_cast<std::size_t>(row.param.layer)]) +
           (row.param.channels == 1 ? "Mono" : "Stereo");
}

INSTANTIATE_TEST_SUITE_P(Layers, MpegExtensionTest,
                         ::testing::Values(LayerCase{Layer::I, 1}, LayerCase{Layer::I, 2},
                                           LayerCase{Layer::II, 1}, LayerCase{Layer::II, 2},
                                           LayerCase{Layer::III, 1}, LayerCase{Layer::III, 2}),
                         LayerCaseName);

TEST(MpegLayerTest, FirstValidHeaderDecidesTheLayerWhateverTheName) {
    TempDir dir;
    WriteBytes(dir.Path("in.wav"), MakeWav16(MusicSamples(2, 48000, 50000), 2, 48000));
    ASSERT_EQ(RunShell("twolame --quiet -b 192 '" + dir.Path("in.wav") + "' '" + dir.Path("a.mp2") +
                       "' >/dev/null 2>&1"),
              0);
    WriteBytes(dir.Path("a.mp3"), ReadBytes(dir.Path("a.mp2")));
    const DecodeOutcome asMp2 = DecodeFile(dir.Path("a.mp2"), dir.Path("mp2.wav"));
    const DecodeOutcome asMp3 = DecodeFile(dir.Path("a.mp3"), dir.Path("mp3.wav"));
    ASSERT_TRUE(asMp2.ok && asMp3.ok) << asMp2.errors << asMp3.errors;
    EXPECT_NE(asMp3.infos.find("Layer II)"), std::string::npos) << asMp3.infos;
    EXPECT_NE(asMp3.infos.find("skipping initial 241 samples"), std::string::npos);
    EXPECT_TRUE(ReadBytes(dir.Path("mp2.wav")) == ReadBytes(dir.Path("mp3.wav")));
}

// The readers hand out one block per call; mono MPEG leaves the right block silent, and the
// 32-bit blocks are the 16-bit ones left-justified.
TEST(MpegBlockTest, MonoRightChannelIsZeroAndWideBlocksAreShiftedNarrowOnes) {
    TempDir dir;
    WriteBytes(dir.Path("m.mp3"), EncodeMp3(MusicSamples(1, 44100, 20000), 1, 44100, 64));
    const auto readAll = [&](bool wide, std::vector<int32_t>& left, std::vector<int32_t>& right) {
        LamePtr context(lame_init());
        InputReader reader;
        int delay = -1;
        int padding = -1;
        ASSERT_TRUE(
            reader.Open(context.get(), dir.Path("m.mp3"), SourceFormat::MpegAny, delay, padding));
        ASSERT_GE(lame_init_params(context.get()), 0);
        std::array<int16_t, kMaxFrameSamples> l16{};
        std::array<int16_t, kMaxFrameSamples> r16{};
        std::array<int32_t, kMaxFrameSamples> l32{};
        std::array<int32_t, kMaxFrameSamples> r32{};
        for (int n = 1; n > 0;) {
            n = wide ? reader.ReadSamples32(context.get(), l32, r32)
                     : reader.ReadSamples16(context.get(), l16, r16);
            for (int i = 0; i < n; ++i) {
                const auto at = static_cast<std::size_t>(i);
                left.push_back(wide ? l32[at] : l16[at]);
                right.push_back(wide ? r32[at] : r16[at]);
            }
        }
        EXPECT_EQ(reader.Format(), SourceFormat::MpegLayer3);
        EXPECT_FALSE(reader.HadReadError());
        reader.Close();
    };
    std::vector<int32_t> left16;
    std::vector<int32_t> right16;
    std::vector<int32_t> left32;
    std::vector<int32_t> right32;
    readAll(false, left16, right16);
    readAll(true, left32, right32);
    ASSERT_FALSE(left16.empty());
    EXPECT_TRUE(std::all_of(right16.begin(), right16.end(), [](int32_t s) { return s == 0; }));
    EXPECT_TRUE(std::any_of(left16.begin(), left16.end(), [](int32_t s) { return s != 0; }));
    ASSERT_EQ(left32.size(), left16.size());
    for (std::size_t i = 0; i < left16.size(); ++i) {
        ASSERT_EQ(left32[i], static_cast<int32_t>(static_cast<uint32_t>(left16[i]) << 16)) << i;
        ASSERT_EQ(right32[i], 0) << i;
    }
}

// ---- Free format ---------------------------------------------------------------------------

// An encoder's output for `options` at test time, from music of `channels` at `rate`; empty when
// the tool is missing or refuses.
Bytes ToolStream(const TempDir& dir, const std::string& tool, const std::string& options,
                 int channels, int rate, uint32_t frames) {
    const std::string pcm = dir.Path("tool-in.wav");
    const std::string coded = dir.Path("tool-out");
    WriteBytes(pcm, MakeWav16(MusicSamples(channels, rate, frames), channels, rate));
    if (RunShell(tool + " --quiet " + options + " " + Quoted(pcm) + " " + Quoted(coded) +
                 " >/dev/null 2>&1") != 0) {
        return {};
    }
    return ReadBytes(coded);
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

struct FreeFormatCase {
    const char* name;
    const char* fileName;
    std::function<Bytes(const TempDir&)> build;
    // As in the encoder table: with no info frame, LAME's front end keeps the encoder delay.
    uint32_t lameKeepsLeadingFrames = 0;
};

class FreeFormatTest : public ::testing::TestWithParam<FreeFormatCase> {};

// Bitrate index 0 leaves the frame length to the encoder; the decoder learns it from the
// distance to the next header. Whatever LAME's own front end makes of such a stream, alone or
// spliced with fixed-bitrate frames, the working WAV holds the same bytes.
TEST_P(FreeFormatTest, DecodesToLameDecodeBytes) {
    const FreeFormatCase& c = GetParam();
    TempDir dir;
    const Bytes stream = c.build(dir);
    ASSERT_FALSE(stream.empty()) << "the test encoder failed";
    const std::string source = dir.Path(c.fileName);
    WriteBytes(source, stream);
    const std::string reference = dir.Path("reference.wav");
    ASSERT_EQ(RunShell("lame --quiet --decode " + Quoted(source) + " " + Quoted(reference)), 0);
    const Bytes expected = WithoutLeadingFrames(ReadBytes(reference), c.lameKeepsLeadingFrames);
    ASSERT_GT(ParseWorkingWav(expected).dataLength, 0u) << "LAME decodes audio from it";

    const DecodeOutcome outcome = DecodeFile(source, dir.Path("ours.wav"));
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    const Bytes ours = ReadBytes(dir.Path("ours.wav"));
    EXPECT_EQ(ours.size(), expected.size());
    EXPECT_TRUE(ours == expected);
}

constexpr int kFreeLayer1Index = 0;
constexpr std::size_t kFreeLayer1Bytes = 256; // 256 kbps at 48 kHz

INSTANTIATE_TEST_SUITE_P(
    Streams, FreeFormatTest,
    ::testing::Values(
        FreeFormatCase{"LayerIStereo", "a.mp1",
                       [](const TempDir&) {
                           return MakeLayer1Stream(2, 40, kFreeLayer1Index, kFreeLayer1Bytes);
                       }},
        FreeFormatCase{"LayerIMono", "a.mp1",
                       [](const TempDir&) {
                           return MakeLayer1Stream(1, 40, kFreeLayer1Index, kFreeLayer1Bytes);
                       }},
        FreeFormatCase{"LayerIFixedThenFree", "a.mp1",
                       [](const TempDir&) {
                           return Joined(
                               {MakeLayer1Stream(2, 20),
                                MakeLayer1Stream(2, 20, kFreeLayer1Index, kFreeLayer1Bytes)});
                       }},
        FreeFormatCase{"LayerIFreeThenFixed", "a.mp1",
                       [](const TempDir&) {
                           return Joined(
                               {MakeLayer1Stream(2, 20, kFreeLayer1Index, kFreeLayer1Bytes),
                                MakeLayer1Stream(2, 20)});
                       }},
        FreeFormatCase{"LayerIIStereo", "a.mp2",
                       [](const TempDir& dir) {
                           return ToolStream(dir, "twolame", "--freeformat -b 192", 2, 48000,
                                             60000);
                       }},
        FreeFormatCase{"LayerIIMono", "a.mp2",
                       [](const TempDir& dir) {
                           return ToolStream(dir, "twolame", "--freeformat -m m -b 96", 1, 44100,
                                             60000);
                       }},
        FreeFormatCase{"LayerIIFixedFreeFixed", "a.mp2",
                       [](const TempDir& dir) {
                           const Bytes fixed =
                               ToolStream(dir, "twolame", "-b 192", 2, 48000, 20000);
                           const Bytes free =
                               ToolStream(dir, "twolame", "--freeformat -b 256", 2, 48000, 20000);
                           return Joined({fixed, free, fixed});
                       }},
        FreeFormatCase{"LayerIIIStereo", "a.mp3",
                       [](const TempDir& dir) {
                           return ToolStream(dir, "lame", "-t --freeformat -b 200", 2, 44100,
                                             60000);
                       },
                       576},
        FreeFormatCase{"LayerIIIFixedThenFree", "a.mp3",
                       [](const TempDir& dir) {
                           const Bytes fixed =
                               ToolStream(dir, "lame", "-t -b 128", 2, 44100, 30000);
                           const Bytes free =
                               ToolStream(dir, "lame", "-t --freeformat -b 200", 2, 44100, 30000);
                           return Joined({fixed, free});
                       },
                       576}),
    [](const ::testing::TestParamInfo<FreeFormatCase>& row) {
        return std::string(row.param.name);
    });

} // namespace
} // namespace orvanta::test
