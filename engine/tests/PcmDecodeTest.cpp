#include "EngineHarness.h"
#include "TestSources.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

enum class Container { Wav, Aiff, Raw };

struct PcmCase {
    const char* name;
    Container container;
    PcmSignal signal;
    const char* fileName;
    WavOptions wav{};
    AiffOptions aiff{};
};

Bytes Build(const PcmCase& c) {
    switch (c.container) {
    case Container::Wav:
        return MakeWav(c.signal, c.wav);
    case Container::Aiff:
        return MakeAiff(c.signal, c.aiff);
    case Container::Raw:
        return MakeRawPcm(c.signal);
    }
    return {};
}

class PcmDecodeTest : public ::testing::TestWithParam<PcmCase> {};

TEST_P(PcmDecodeTest, WorkingWavHoldsTheTopSixteenBitsOfEverySample) {
    const PcmCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.Path(c.fileName);
    const std::string wav = dir.Path("work.wav");
    WriteBytes(source, Build(c));

    const DecodeOutcome outcome = DecodeFile(source, wav);
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    EXPECT_EQ(outcome.cancelled, 0);

    const Bytes bytes = ReadBytes(wav);
    const WorkingWav parsed = ParseWorkingWav(bytes);
    const auto channels = static_cast<uint32_t>(c.signal.channels);
    EXPECT_EQ(parsed.formatTag, 1);
    EXPECT_EQ(parsed.channels, channels);
    EXPECT_EQ(parsed.sampleRate, static_cast<uint32_t>(c.signal.sampleRate));
    EXPECT_EQ(parsed.byteRate, static_cast<uint32_t>(c.signal.sampleRate) * 2 * channels);
    EXPECT_EQ(parsed.blockAlign, 2 * channels);
    EXPECT_EQ(parsed.bits, 16);
    EXPECT_EQ(parsed.dataLength, c.signal.frames * 2 * channels);
    EXPECT_EQ(parsed.riffLength, parsed.dataLength + 36);
    EXPECT_EQ(bytes.size(), 44 + parsed.dataLength);
    const bool unsigned8Bit = c.container == Container::Wav;
    EXPECT_EQ(parsed.samples, ExpectedWorkingSamples(c.signal, unsigned8Bit));
}

PcmSignal Signal(int channels, int bits, int rate = 44100, uint32_t frames = 3000) {
    return PcmSignal{channels, rate, bits, frames};
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PcmDecodeTest,
    ::testing::Values(
        PcmCase{"Wav8Mono", Container::Wav, Signal(1, 8), "a.wav"},
        PcmCase{"Wav8Stereo", Container::Wav, Signal(2, 8), "a.wav"},
        PcmCase{"Wav16Mono", Container::Wav, Signal(1, 16), "a.wav"},
        PcmCase{"Wav16Stereo", Container::Wav, Signal(2, 16), "a.wav"},
        PcmCase{"Wav24Mono", Container::Wav, Signal(1, 24), "a.wav"},
        PcmCase{"Wav24Stereo", Container::Wav, Signal(2, 24), "a.wav"},
        PcmCase{"Wav32Mono", Container::Wav, Signal(1, 32), "a.wav"},
        PcmCase{"Wav32Stereo", Container::Wav, Signal(2, 32), "a.wav"},
        PcmCase{"Wav16At22050", Container::Wav, Signal(2, 16, 22050), "a.wav"},
        PcmCase{"Wav16At8000Mono", Container::Wav, Signal(1, 16, 8000), "a.wav"},
        PcmCase{"Wav16At96000", Container::Wav, Signal(2, 16, 96000), "a.wav"},
        PcmCase{"WavExactlyOneBlock", Container::Wav, Signal(2, 16, 44100, 1152), "a.wav"},
        PcmCase{"WavOneFrame", Container::Wav, Signal(1, 16, 44100, 1), "a.wav"},
        PcmCase{"WavExtensiblePcm", Container::Wav, Signal(2, 24), "a.wav",
                WavOptions{.extensible = true}},
        PcmCase{"WavListBeforeFmt", Container::Wav, Signal(2, 16), "a.wav",
                WavOptions{.listChunksBeforeFmt = 1}},
        PcmCase{
            "WavOddListChunksArePadded", Container::Wav, Signal(2, 16), "a.wav",
            WavOptions{.listChunksBeforeFmt = 1, .listChunksBeforeData = 2, .oddListChunks = true}},
        PcmCase{"WavDataAsTwentiethChunk", Container::Wav, Signal(1, 16), "a.wav",
                WavOptions{.listChunksBeforeData = 18}},
        PcmCase{"WavNamedDat", Container::Wav, Signal(2, 16), "song.dat"},
        PcmCase{"WavNamedAiff", Container::Wav, Signal(2, 16), "song.aif"},
        PcmCase{"Aiff8Mono", Container::Aiff, Signal(1, 8), "a.aif"},
        PcmCase{"Aiff8Stereo", Container::Aiff, Signal(2, 8), "a.aif"},
        PcmCase{"Aiff16Stereo", Container::Aiff, Signal(2, 16), "a.aif"},
        PcmCase{"Aiff24Mono", Container::Aiff, Signal(1, 24), "a.aif"},
        PcmCase{"Aiff32Stereo", Container::Aiff, Signal(2, 32), "a.aif"},
        PcmCase{"AiffAt22050", Container::Aiff, Signal(1, 16, 22050), "a.aif"},
        PcmCase{"AifcNone",
                Container::Aiff,
                Signal(2, 16),
                "a.aifc",
                {},
                AiffOptions{.aifc = true, .compression = "NONE"}},
        PcmCase{"AifcTwos",
                Container::Aiff,
                Signal(2, 24),
                "a.aif",
                {},
                AiffOptions{.aifc = true, .compression = "twos"}},
        PcmCase{"AifcSowtIsLittleEndian",
                Container::Aiff,
                Signal(2, 16),
                "a.aif",
                {},
                AiffOptions{.aifc = true, .compression = "sowt"}},
        PcmCase{"AiffSoundBeforeCommon",
                Container::Aiff,
                Signal(2, 16),
                "a.aif",
                {},
                AiffOptions{.ssndBeforeComm = true}},
        PcmCase{"AiffWithSoundOffset",
                Container::Aiff,
                Signal(2, 16),
                "a.aif",
                {},
                AiffOptions{.ssndOffset = 6}},
        PcmCase{"AiffOffsetAndSoundFirst",
                Container::Aiff,
                Signal(1, 16),
                "a.aif",
                {},
                AiffOptions{.ssndBeforeComm = true, .ssndOffset = 10}},
        PcmCase{"AiffNamedWav", Container::Aiff, Signal(2, 16), "song.wav"},
        PcmCase{"AiffNamedAiffInFull", Container::Aiff, Signal(2, 16), "song.AIFF"},
        PcmCase{"RawPcmIsStereo44100", Container::Raw, Signal(2, 16), "a.raw"}),
    [](const ::testing::TestParamInfo<PcmCase>& row) { return std::string(row.param.name); });

// Exact conversions at the edges of the 8-bit formats, which differ in sign convention.
TEST(PcmEdgeTest, EightBitSamplesKeepTheirConventions) {
    TempDir dir;
    PcmSignal signal{1, 8000, 8, 3};
    Bytes wav = MakeWav(signal);
    const std::size_t firstSample = wav.size() - 3;
    wav[firstSample] = 0x80; // silence in unsigned 8-bit
    wav[firstSample + 1] = 0x00;
    wav[firstSample + 2] = 0xFF;
    WriteBytes(dir.Path("a.wav"), wav);
    ASSERT_TRUE(DecodeFile(dir.Path("a.wav"), dir.Path("w.wav")).ok);
    EXPECT_EQ(ParseWorkingWav(ReadBytes(dir.Path("w.wav"))).samples,
              (std::vector<int16_t>{0x007F, static_cast<int16_t>(0x807F), 0x7F7F}));

    Bytes aiff = MakeAiff(signal);
    const std::size_t aiffFirst = aiff.size() - 4; // three samples and a pad byte
    aiff[aiffFirst] = 0x00;
    aiff[aiffFirst + 1] = 0x80;
    aiff[aiffFirst + 2] = 0x7F;
    WriteBytes(dir.Path("a.aif"), aiff);
    ASSERT_TRUE(DecodeFile(dir.Path("a.aif"), dir.Path("w.wav")).ok);
    EXPECT_EQ(ParseWorkingWav(ReadBytes(dir.Path("w.wav"))).samples,
              (std::vector<int16_t>{0, static_cast<int16_t>(0x8000), 0x7F00}));
}

struct RefusalCase {
    const char* name;
    std::function<Bytes()> build;
    const char* fileName;
    const char* expectedError;
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, FailsWithItsReasonAndLeavesNoOutput) {
    const RefusalCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.Path(c.fileName);
    const std::string wav = dir.Path("work.wav");
    const Bytes input = c.build();
    WriteBytes(source, input);

    const DecodeOutcome outcome = DecodeFile(source, wav);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.cancelled, -1) << "cancelled is set only on success";
    EXPECT_NE(outcome.errors.find(c.expectedError), std::string::npos) << outcome.errors;
    EXPECT_FALSE(std::filesystem::exists(wav));
    EXPECT_EQ(ReadBytes(source), input) << "the source must never change";
}

Bytes WavWithFmtField(PcmSignal signal, std::size_t offset, uint16_t value) {
    Bytes bytes = MakeWav(signal);
    bytes[offset] = static_cast<uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
    return bytes;
}

constexpr std::size_t kWavChannelsOffset = 22;
constexpr std::size_t kWavBitsOffset = 34;
constexpr std::size_t kAiffChannelsOffset = 20;

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusalTest,
    ::testing::Values(
        RefusalCase{"FloatWav", [] { return MakeWav(Signal(2, 32), {.formatTag = 3}); }, "a.wav",
                    "Unsupported data format: 0x0003"},
        RefusalCase{"ExtensibleFloatWav",
                    [] { return MakeWav(Signal(2, 32), {.formatTag = 3, .extensible = true}); },
                    "a.wav", "Unsupported data format: 0x0003"},
        RefusalCase{"DataBeforeFormat",
                    [] { return MakeWav(Signal(2, 16), {.dataBeforeFmt = true}); }, "a.wav",
                    "Unsupported data format: 0x0000"},
        RefusalCase{"DataAsTwentyFirstChunk",
                    [] { return MakeWav(Signal(2, 16), {.listChunksBeforeData = 19}); }, "a.wav",
                    "corrupt or unsupported WAVE format"},
        RefusalCase{"TwelveBitWav",
                    [] { return WavWithFmtField(Signal(1, 16), kWavBitsOffset, 12); }, "a.wav",
                    "Only 8, 16, 24 and 32 bit input files supported"},
        RefusalCase{"ZeroChannelWav",
                    [] { return WavWithFmtField(Signal(1, 16), kWavChannelsOffset, 0); }, "a.wav",
                    "corrupt or unsupported WAVE format"},
        RefusalCase{"ZeroBitWav", [] { return WavWithFmtField(Signal(1, 16), kWavBitsOffset, 0); },
                    "a.wav", "corrupt or unsupported WAVE format"},
        RefusalCase{"ThreeChannelWav", [] { return MakeWav(Signal(3, 16)); }, "a.wav",
                    "Unsupported number of channels: 3"},
        RefusalCase{"AifcFloat",
                    [] { return MakeAiff(Signal(2, 32), {.aifc = true, .compression = "fl32"}); },
                    "a.aif", "corrupt or unsupported AIFF format"},
        RefusalCase{"TwelveBitAiff", [] { return MakeAiff(Signal(1, 12)); }, "a.aif",
                    "not 8, 16, 24 or 32 bits"},
        RefusalCase{"ThreeChannelAiff", [] { return MakeAiff(Signal(3, 16)); }, "a.aif",
                    "not mono or stereo"},
        RefusalCase{"ZeroChannelAiff",
                    [] {
                        Bytes b = MakeAiff(Signal(1, 16));
                        b[kAiffChannelsOffset] = 0;
                        b[kAiffChannelsOffset + 1] = 0;
                        return b;
                    },
                    "a.aif", "corrupt or unsupported AIFF format"},
        RefusalCase{"AiffBlockSize", [] { return MakeAiff(Signal(2, 16), {.blockSize = 4}); },
                    "a.aif", "block size of input sound data is not 0 bytes"},
        RefusalCase{"OggIsAlwaysRefused", [] { return MakeWav(Signal(2, 16)); }, "a.ogg",
                    "vorbis support"},
        RefusalCase{"Mp3NamedDat",
                    [] { return EncodeMp3(MusicSamples(2, 44100, 5000), 2, 44100, 128); },
                    "song.dat", "Warning: unsupported audio format"},
        RefusalCase{"Mp3NamedMpeg",
                    [] { return EncodeMp3(MusicSamples(2, 44100, 5000), 2, 44100, 128); },
                    "song.mpeg", "Warning: unsupported audio format"},
        RefusalCase{"EmptyWav", [] { return Bytes{}; }, "a.wav", "unsupported audio format"},
        RefusalCase{"EmptyMp3", [] { return Bytes{}; }, "a.mp3", "Error reading headers"},
        RefusalCase{"TextAsWav", [] { return Bytes{'h', 'e', 'l', 'l', 'o', '\n'}; }, "a.wav",
                    "unsupported audio format"},
        RefusalCase{"TextAsMp3", [] { return Bytes(5000, 'x'); }, "a.mp3",
                    "Error reading headers in mp3 input file"}),
    [](const ::testing::TestParamInfo<RefusalCase>& row) { return std::string(row.param.name); });

TEST(RefusalTest, MissingSourceIsReported) {
    TempDir dir;
    const DecodeOutcome outcome = DecodeFile(dir.Path("absent.wav"), dir.Path("w.wav"));
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.errors.find("Could not find"), std::string::npos) << outcome.errors;
}

} // namespace
} // namespace orvanta::test
