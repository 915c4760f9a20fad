#include "DecodeLoop.h"

#include "ConversionEngine.h"
#include "EngineHarness.h"
#include "TestSources.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <set>

namespace orvanta::test {
namespace {

constexpr uint32_t kBlock = 1152;

void ExpectConsistentHeader(const Bytes& bytes) {
    const WorkingWav parsed = ParseWorkingWav(bytes);
    EXPECT_EQ(parsed.dataLength + 44, bytes.size());
    EXPECT_EQ(parsed.riffLength, parsed.dataLength + 36);
}

struct ProgressCase {
    const char* name;
    int sampleRate;
    uint32_t frames;
    uint32_t expectedTotal;
    std::vector<uint32_t> expectedPositions;
};

class DecodeProgressTest : public ::testing::TestWithParam<ProgressCase> {};

// One step per block with the frames done so far; the read that finds the end still reports.
TEST_P(DecodeProgressTest, ReportsRangeAndPositionsPerBlock) {
    const ProgressCase& c = GetParam();
    TempDir dir;
    WriteBytes(dir.Path("a.wav"), MakeWav(PcmSignal{2, c.sampleRate, 16, c.frames}));
    const DecodeOutcome outcome = DecodeFile(dir.Path("a.wav"), dir.Path("w.wav"));
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    EXPECT_EQ(outcome.progress.loading.beginCalls, 1);
    EXPECT_EQ(outcome.progress.loading.total, c.expectedTotal);
    EXPECT_EQ(outcome.progress.loading.positions, c.expectedPositions);
    EXPECT_EQ(outcome.progress.loading.endCalls, std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(
    Rates, DecodeProgressTest,
    ::testing::Values(
        ProgressCase{"FullBlocksAndARest", 44100, 5 * kBlock + 100, 5, {1, 2, 3, 4, 5, 5, 5}},
        ProgressCase{"ExactBlocks", 44100, 3 * kBlock, 3, {1, 2, 3, 3}},
        ProgressCase{"ShorterThanABlock", 48000, 10, 0, {0, 0}},
        // At 24 kHz and below a block is 576 frames; the bar must still move.
        ProgressCase{"HalfSizeBlocks", 22050, 4 * 576 + 10, 4, {1, 2, 3, 4, 4, 4}}),
    [](const ::testing::TestParamInfo<ProgressCase>& row) { return std::string(row.param.name); });

TEST(DecodeProgressTest, Mp3CountsEveryFrameUpToTheTaggedTotal) {
    TempDir dir;
    WriteBytes(dir.Path("a.mp3"), EncodeMp3(MusicSamples(2, 44100, 40000), 2, 44100, 128));
    const DecodeOutcome outcome = DecodeFile(dir.Path("a.mp3"), dir.Path("w.wav"));
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    const auto& positions = outcome.progress.loading.positions;
    ASSERT_FALSE(positions.empty());
    for (std::size_t i = 1; i < positions.size(); ++i) {
        EXPECT_LE(positions[i - 1], positions[i]);
        EXPECT_LE(positions[i] - positions[i - 1], 1u);
    }
    EXPECT_GE(outcome.progress.loading.total * 1152u, 40000u);
    EXPECT_LT(outcome.progress.loading.total, 40000u / 1152u + 4u);
    EXPECT_EQ(positions.back(), outcome.progress.loading.total);
}

struct CancelCase {
    const char* name;
    const char* fileName;
    std::function<Bytes()> build;
};

class DecodeCancelTest : public ::testing::TestWithParam<CancelCase> {};

// A Cancel at any block ends the decode as done-but-cancelled; the unfinished working WAV is
// not the song, so the file of that name stays as it was and no temporary file is left.
TEST_P(DecodeCancelTest, CancelAtEveryBlockKeepsThePreviousFile) {
    const CancelCase& c = GetParam();
    TempDir dir;
    WriteBytes(dir.Path(c.fileName), c.build());
    const DecodeOutcome whole = DecodeFile(dir.Path(c.fileName), dir.Path("w.wav"));
    ASSERT_TRUE(whole.ok) << whole.errors;
    const Bytes previous = ReadBytes(dir.Path("w.wav"));
    const auto steps = static_cast<int>(whole.progress.loading.positions.size());
    ASSERT_GT(steps, 2);

    for (int step = 1; step <= steps; ++step) {
        const DecodeOutcome outcome = DecodeFile(dir.Path(c.fileName), dir.Path("w.wav"), step);
        ASSERT_TRUE(outcome.ok) << "step " << step << ": " << outcome.errors;
        EXPECT_EQ(outcome.cancelled, 1) << step;
        EXPECT_EQ(outcome.progress.loading.positions.size(), static_cast<std::size_t>(step));
        EXPECT_EQ(outcome.progress.loading.endCalls, std::vector<int>{1}) << step;
        EXPECT_TRUE(ReadBytes(dir.Path("w.wav")) == previous) << step;
        EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{c.fileName, "w.wav"})) << step;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DecodeCancelTest,
    ::testing::Values(CancelCase{"Wav", "a.wav",
                                 [] {
                                     return MakeWav(PcmSignal{2, 44100, 16, 6 * kBlock + 7});
                                 }},
                      CancelCase{
                          "Mp3", "a.mp3",
                          [] { return EncodeMp3(MusicSamples(1, 44100, 12000), 1, 44100, 64); }},
                      CancelCase{"Layer1", "a.mp1", [] { return MakeLayer1Stream(2, 12); }}),
    [](const ::testing::TestParamInfo<CancelCase>& row) { return std::string(row.param.name); });

TEST(DecodeCancelTest, WithNoProgressInstalledTheFirstStepStops) {
    TempDir dir;
    WriteBytes(dir.Path("a.wav"), MakeWav(PcmSignal{2, 44100, 16, 4 * kBlock}));
    LogCapture log;
    ConversionEngine engine;
    ASSERT_TRUE(engine.Open());
    int cancelled = 0;
    EXPECT_TRUE(engine.DecodeToWav(dir.Path("a.wav"), dir.Path("w.wav"), cancelled));
    EXPECT_EQ(cancelled, 1);
}

TEST(DecodeOutputTest, EmptyDataChunkGivesAHeaderOnly) {
    TempDir dir;
    WriteBytes(dir.Path("a.wav"), MakeWav(PcmSignal{2, 44100, 16, 0}));
    const DecodeOutcome outcome = DecodeFile(dir.Path("a.wav"), dir.Path("w.wav"));
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.cancelled, 0);
    const Bytes bytes = ReadBytes(dir.Path("w.wav"));
    EXPECT_EQ(bytes.size(), 44u);
    EXPECT_EQ(ParseWorkingWav(bytes).dataLength, 0u);
    EXPECT_NE(outcome.errors.find("WAVE file contains 0 PCM samples"), std::string::npos);
}

TEST(DecodeOutputTest, TruncatedWavDecodesWhatIsThere) {
    TempDir dir;
    Bytes wav = MakeWav(PcmSignal{2, 44100, 16, 5000});
    wav.resize(wav.size() - 1001); // also leaves half a sample frame at the end
    WriteBytes(dir.Path("a.wav"), wav);
    const DecodeOutcome outcome = DecodeFile(dir.Path("a.wav"), dir.Path("w.wav"));
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    const Bytes bytes = ReadBytes(dir.Path("w.wav"));
    ExpectConsistentHeader(bytes);
    EXPECT_EQ(ParseWorkingWav(bytes).dataLength, (5000u * 4 - 1001) / 4 * 4);
}

TEST(DecodeOutputTest, ExistingOutputIsReplaced) {
    TempDir dir;
    WriteBytes(dir.Path("a.wav"), MakeWav(PcmSignal{1, 44100, 16, 100}));
    WriteBytes(dir.Path("w.wav"), Bytes(100000, 0xAB));
    ASSERT_TRUE(DecodeFile(dir.Path("a.wav"), dir.Path("w.wav")).ok);
    const Bytes bytes = ReadBytes(dir.Path("w.wav"));
    EXPECT_EQ(bytes.size(), 44u + 200u);
    ExpectConsistentHeader(bytes);
}

TEST(DecodeOutputTest, OutputThatIsTheSourceIsRefusedAndTheSourceKept) {
    TempDir dir;
    const Bytes source = MakeWav(PcmSignal{2, 44100, 16, 3000});
    WriteBytes(dir.Path("a.wav"), source);
    std::filesystem::create_symlink(dir.Path("a.wav"), dir.Path("link.wav"));
    for (const char* output : {"a.wav", "link.wav", "./a.wav"}) {
        const DecodeOutcome outcome = DecodeFile(dir.Path("a.wav"), dir.Path(output));
        EXPECT_FALSE(outcome.ok) << output;
        EXPECT_NE(outcome.errors.find("is the input file"), std::string::npos) << outcome.errors;
        EXPECT_EQ(ReadBytes(dir.Path("a.wav")), source) << output;
    }
}

TEST(DecodeOutputTest, UncreatableOutputFails) {
    TempDir dir;
    WriteBytes(dir.Path("a.wav"), MakeWav(PcmSignal{2, 44100, 16, 300}));
    const DecodeOutcome outcome = DecodeFile(dir.Path("a.wav"), dir.Path("missing/w.wav"));
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.errors.find("Could not create"), std::string::npos) << outcome.errors;
}

// A full disk must not pass for a finished decode.
TEST(ConversionEngineTest, DecodeWithoutOpenFailsAndCloseIsIdempotent) {
    TempDir dir;
    WriteBytes(dir.Path("a.wav"), MakeWav(PcmSignal{2, 44100, 16, 300}));
    LogCapture log;
    ConversionEngine engine;
    int cancelled = -1;
    EXPECT_FALSE(engine.DecodeToWav(dir.Path("a.wav"), dir.Path("w.wav"), cancelled));
    EXPECT_EQ(cancelled, -1);
    EXPECT_TRUE(engine.Open());
    engine.Close();
    EXPECT_EQ(engine.Close(), 0) << "a second close finds nothing to close";
}

// No working WAV grows past what its 32-bit RIFF length can describe: the decode fails at the
// limit, before the first byte when the source's own length says so, else before the block that
// would cross it. The limit is lowered here to 10000 bytes (2500 stereo frames).
TEST(DecodeOutputTest, AudioBeyondTheWavLimitFailsTheDecode) {
    EXPECT_EQ(kLargestWorkingWavDataBytes, uint64_t{0xFFFFFFFF} - 44);
    struct Row {
        const char* what;
        const char* name;
        Bytes source;
        bool fits;
    };
    const std::vector<Row> rows{
        {"exactly at the limit", "a.wav", MakeWav(PcmSignal{2, 44100, 16, 2500}), true},
        {"a WAV one frame longer", "b.wav", MakeWav(PcmSignal{2, 44100, 16, 2501}), false},
        {"raw PCM", "c.raw", MakeRawPcm(PcmSignal{2, 44100, 16, 3000}), false},
        {"an MP3, whose length shows only while decoding", "d.mp3",
         EncodeMp3(MusicSamples(2, 44100, 44100), 2, 44100, 128), false}};
    TempDir dir;
    LimitWorkingWavDataForTest(10000);
    for (const Row& row : rows) {
        WriteBytes(dir.Path(row.name), row.source);
        const DecodeOutcome outcome = DecodeFile(dir.Path(row.name), dir.Path("w.wav"));
        EXPECT_EQ(outcome.ok, row.fits) << row.what;
        if (!row.fits) {
            EXPECT_NE(outcome.errors.find("larger than a WAV file can hold"), std::string::npos)
                << row.what << ": " << outcome.errors;
            EXPECT_FALSE(std::filesystem::exists(dir.Path("w.wav"))) << row.what;
        }
        std::filesystem::remove(dir.Path("w.wav"));
    }
    LimitWorkingWavDataForTest(std::nullopt);
}

} // namespace
} // namespace orvanta::test
