#include "NormalizedRingtone.h"

#include "EngineHarness.h"
#include "Normalize.h"
#include "TestSources.h"

#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

// Cancels the phase named by `phase` at its first step.
class CancellingProgress : public RecordingProgress {
public:
    explicit CancellingProgress(char phase) : m_phase(phase) {}
    int StepSplitting(uint32_t position) override {
        return m_phase == 's' ? 0 : RecordingProgress::StepSplitting(position);
    }
    int StepEncoding(uint32_t position) override {
        return m_phase == 'e' ? 0 : RecordingProgress::StepEncoding(position);
    }

private:
    char m_phase;
};

// A cancelled or failed normalised ringtone leaves the MP3 of the last one as it was; a whole
// one replaces it.
TEST(NormalizedRingtoneTest, OnlyAFinishedRingtoneReplacesThePreviousOne) {
    TempDir dir;
    const std::string work = dir.Path("work.wav");
    const std::string mp3 = dir.Path("song_ringtone.mp3");
    WriteBytes(work, MakeWav16(MusicSamples(2, 44100, 44100 * 6), 2, 44100));
    const Bytes previous{'o', 'l', 'd'};
    RingtoneSettings settings;
    settings.endMs = 5000;
    settings.fadeMs = FadeLengthForSelection(settings.endMs);
    const struct {
        const char* name;
        char cancelIn;
        std::string workingWav;
        bool ok;
        int cancelled;
    } cases[] = {
        {"cancel in the cut", 's', work, true, 1},
        {"cancel in the encode", 'e', work, true, 1},
        {"no working WAV", '-', dir.Path("missing.wav"), false, 0},
        {"finished", '-', work, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(mp3, previous);
        CancellingProgress progress(c.cancelIn);
        const ScopedProgressSteps installed(progress);
        int cancelled = 0;
        NormalizeResult result;
        EXPECT_EQ(MakeNormalizedRingtone(c.workingWav, dir.Path("ring.wav"), mp3, settings,
                                         NormalizeTarget{}, cancelled, result),
                  c.ok);
        EXPECT_EQ(cancelled, c.cancelled);
        EXPECT_EQ(ReadBytes(mp3) == previous, !c.ok || c.cancelled != 0);
    }
    EXPECT_NEAR(MeasureFile(mp3).value_or(LoudnessFigures{}).integratedLufs, -14.0, 0.5);
}

} // namespace
} // namespace orvanta::test
