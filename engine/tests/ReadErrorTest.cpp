// A read error anywhere in a source fails the conversion: what was read before it is not the
// whole song, so it must never pass for one.

#include "EngineHarness.h"
#include "SourceFile.h"
#include "TestSources.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace orvanta::test {
namespace {

constexpr uint32_t kFrames = 20000;
constexpr int kInjections = 12;

struct FormatCase {
    const char* name;
    const char* fileName;
    std::function<Bytes()> build;
};

// Arms the read-error seam for the files the engine opens while this lives.
class InjectedReadError {
public:
    explicit InjectedReadError(uint64_t byteOffset) { SourceFile::InjectReadErrorAt(byteOffset); }
    ~InjectedReadError() { SourceFile::InjectReadErrorAt(std::nullopt); }
    InjectedReadError(const InjectedReadError&) = delete;
    InjectedReadError& operator=(const InjectedReadError&) = delete;
};

class ReadErrorTest : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        source = dir.Path(GetParam().fileName);
        bytes = GetParam().build();
        WriteBytes(source, bytes);
    }
    // Offsets spread over the whole file, header and last byte included: every conversion reads
    // the source to its end, so each one is reached.
    std::vector<uint64_t> Offsets() const {
        std::vector<uint64_t> offsets;
        for (int i = 0; i < kInjections; ++i) {
            offsets.push_back(bytes.size() * static_cast<uint64_t>(i) / kInjections);
        }
        offsets.push_back(bytes.size() - 1);
        return offsets;
    }

    TempDir dir;
    std::string source;
    Bytes bytes;
};

TEST_P(ReadErrorTest, DecodeFailsAndLeavesNoWorkingWav) {
    ASSERT_TRUE(DecodeFile(source, dir.Path("whole.wav")).ok) << "the source itself decodes";
    for (const uint64_t offset : Offsets()) {
        const InjectedReadError error(offset);
        const DecodeOutcome outcome = DecodeFile(source, dir.Path("out.wav"));
        EXPECT_FALSE(outcome.ok) << "read error at byte " << offset << " of " << bytes.size();
        EXPECT_EQ(outcome.cancelled, -1) << offset;
        EXPECT_FALSE(std::filesystem::exists(dir.Path("out.wav"))) << offset;
    }
}

TEST_P(ReadErrorTest, EncodeFailsAndLeavesNoMp3) {
    ASSERT_TRUE(EncodeFile(source, dir.Path("whole.mp3"), false, 44100).ok);
    for (const uint64_t offset : Offsets()) {
        const InjectedReadError error(offset);
        const DecodeOutcome outcome = EncodeFile(source, dir.Path("out.mp3"), false, 44100);
        EXPECT_FALSE(outcome.ok) << "read error at byte " << offset << " of " << bytes.size();
        EXPECT_FALSE(std::filesystem::exists(dir.Path("out.mp3"))) << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReadErrorTest,
    ::testing::Values(FormatCase{"Mpeg", "a.mp3",
                                 [] {
                                     return EncodeMp3(MusicSamples(2, 44100, kFrames), 2, 44100,
                                                      128);
                                 }},
                      FormatCase{"Wav", "a.wav",
                                 [] {
                                     return MakeWav(PcmSignal{2, 44100, 16, kFrames});
                                 }},
                      FormatCase{"Aiff", "a.aif",
                                 [] {
                                     return MakeAiff(PcmSignal{2, 44100, 16, kFrames});
                                 }},
                      FormatCase{"Raw", "a.raw",
                                 [] {
                                     return MakeRawPcm(PcmSignal{2, 44100, 16, kFrames});
                                 }}),
    [](const ::testing::TestParamInfo<FormatCase>& row) { return std::string(row.param.name); });

// Random bytes hold plausible frame headers now and then, and LAME finds a few frames in some
// noise; where it finds none, the decode must fail as for any undecodable file rather than leave
// an empty working WAV that passes for the song.
TEST(UndecodableMpegTest, RandomBytesNamedMp3NeverGiveAnEmptyWorkingWav) {
    TempDir dir;
    std::mt19937 generator(20240611); // the standard fixes its sequence: the same noise everywhere
    int failures = 0;
    for (int round = 0; round < 3; ++round) {
        Bytes noise(200 * 1000);
        for (uint8_t& byte : noise) {
            byte = static_cast<uint8_t>(generator());
        }
        const std::string wav = dir.Path("out" + std::to_string(round) + ".wav");
        WriteBytes(dir.Path("noise.mp3"), noise);
        const DecodeOutcome outcome = DecodeFile(dir.Path("noise.mp3"), wav);
        if (outcome.ok) {
            EXPECT_GT(ParseWorkingWav(ReadBytes(wav)).dataLength, 0u) << round;
            continue;
        }
        ++failures;
        EXPECT_NE(outcome.errors.find("Error reading headers in mp3 input file"), std::string::npos)
            << outcome.errors;
        EXPECT_FALSE(std::filesystem::exists(wav)) << round;
    }
    EXPECT_GT(failures, 0) << "this noise holds undecodable rounds";
}

} // namespace
} // namespace orvanta::test
