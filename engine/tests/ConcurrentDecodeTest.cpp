#include "ConversionEngine.h"
#include "EngineHarness.h"
#include "ProgressSteps.h"
#include "TestSources.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace orvanta::test {
namespace {

// Answers "go on" from any thread and records nothing, so two decodes may share it.
class GoOnProgress : public ProgressSteps {
public:
    int BeginLoading(uint32_t /*total*/) override { return 1; }
    int StepLoading(uint32_t /*position*/) override { return 1; }
};

// True when the decode succeeded from `pieces` pieces.
bool Decode(const std::string& source, const std::string& wav, int pieces) {
    ConversionEngine engine;
    int cancelled = -1;
    int used = 0;
    return engine.Open() &&
           engine.DecodeToWav(source, wav, cancelled,
                              DecodeOptions{.pieces = pieces, .piecesUsed = &used}) &&
           cancelled == 0 && used == pieces;
}

// Each decode owns its stream's facts: two at once, of streams that differ in layer, channels
// and rate, each itself split into pieces on threads of their own, write what each writes alone
// on one thread, and all log to the one log.
TEST(ConcurrentDecodeTest, TwoThreadsWriteWhatSingleRunsWrite) {
    TempDir dir;
    const std::array<std::string, 2> sources{dir.Path("a.mp3"), dir.Path("b.mp1")};
    WriteBytes(sources[0], EncodeMp3(MusicSamples(2, 44100, 200000), 2, 44100, 128));
    WriteBytes(sources[1], MakeLayer1Stream(1, 3000));
    const LogCapture log;
    GoOnProgress progress;
    ScopedProgressSteps installed(progress);
    std::array<Bytes, 2> alone;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        ASSERT_TRUE(Decode(sources[i], dir.Path("alone.wav"), 1));
        alone[i] = ReadBytes(dir.Path("alone.wav"));
    }
    for (int round = 0; round < 3; ++round) {
        std::array<bool, 2> ok{};
        std::array<std::thread, 2> threads;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            threads[i] = std::thread(
                [&, i] { ok[i] = Decode(sources[i], dir.Path(std::to_string(i) + ".wav"), 3); });
        }
        for (std::size_t i = 0; i < sources.size(); ++i) {
            threads[i].join();
            ASSERT_TRUE(ok[i]) << sources[i];
            EXPECT_TRUE(ReadBytes(dir.Path(std::to_string(i) + ".wav")) == alone[i])
                << sources[i] << ReadBytes(dir.Path(std::to_string(i) + ".wav")).size() << " "
                << alone[i].size();
        }
    }
}

} // namespace
} // namespace orvanta::test
