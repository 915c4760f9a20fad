#include "PredictedSize.h"

#include "EngineHarness.h"
#include "TestSources.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

// The size the edit page shows beside the options lies within 1 % of the MP3 written.
TEST(PredictedSizeTest, WithinOnePercentOfTheEncodedFile) {
    const struct {
        int channels;
        int sampleRate;
        uint32_t milliseconds;
        bool stereo;
        int outSampleRate;
    } cases[] = {
        {2, 44100, 20000, false, 44100}, {2, 44100, 20000, true, 44100},
        {2, 44100, 5000, true, 22050},   {2, 44100, 8000, false, 11025},
        {1, 22050, 30000, true, 22050},  {2, 48000, 12000, true, 44100},
        {2, 44100, 1000, false, 22050},  {2, 44100, 1100, false, 11025},
        {1, 11025, 1000, false, 11025},  {2, 44100, 1000, false, 44100},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.milliseconds) + " ms to " + std::to_string(c.outSampleRate) +
                     (c.stereo ? " stereo" : " mono"));
        const uint32_t frames = c.milliseconds * static_cast<uint32_t>(c.sampleRate) / 1000;
        WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(c.channels, c.sampleRate, frames),
                                                   c.channels, c.sampleRate));
        ASSERT_TRUE(
            EncodeFile(dir.Path("ring.wav"), dir.Path("ring.mp3"), c.stereo, c.outSampleRate).ok);
        const auto written = static_cast<double>(std::filesystem::file_size(dir.Path("ring.mp3")));
        const auto predicted = static_cast<double>(
            PredictedMp3Bytes(frames, static_cast<unsigned>(c.sampleRate),
                              static_cast<unsigned>(c.channels), c.stereo, c.outSampleRate));
        EXPECT_NEAR(predicted, written, written * 0.01);
    }
}

} // namespace
} // namespace orvanta::test
