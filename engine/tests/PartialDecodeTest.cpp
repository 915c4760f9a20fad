#include "ConversionEngine.h"
#include "EngineHarness.h"
#include "TestSources.h"

#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

// A decode that stops early writes the whole decode's first samples, at least up to where it was
// told to stop, and a header that counts exactly what it wrote.
TEST(PartialDecodeTest, StoppedDecodeIsThePrefixOfTheWholeOne) {
    const struct {
        const char* name;
        const char* encoder; // lame options, or nullptr to decode the WAV itself
        int channels;
        int rate;
        uint32_t stopAfterMs;
    } cases[] = {
        {"MP3 CBR", "-b 128", 2, 44100, 2010},
        {"MP3 VBR", "-V 4", 2, 44100, 1733},
        {"MP3 mono 22 kHz", "-b 32", 1, 22050, 2500},
        {"WAV", nullptr, 2, 44100, 3001},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wav = dir.Path("in.wav");
        WriteBytes(wav,
                   MakeWav16(MusicSamples(c.channels, c.rate, static_cast<uint32_t>(c.rate) * 5),
                             c.channels, c.rate));
        std::string source = wav;
        if (c.encoder != nullptr) {
            source = dir.Path("in.mp3");
            ASSERT_EQ(RunShell(std::string("lame --quiet ") + c.encoder + " '" + wav + "' '" +
                               source + "'"),
                      0);
        }
        ASSERT_TRUE(DecodeFile(source, dir.Path("whole.wav")).ok);
        RecordingProgress progress;
        const ScopedProgressSteps installed(progress);
        ConversionEngine engine;
        int cancelled = -1;
        ASSERT_TRUE(engine.Open() && engine.DecodeToWav(source, dir.Path("part.wav"), cancelled,
                                                        DecodeOptions{c.stopAfterMs}));
        EXPECT_EQ(cancelled, 0);
        const WorkingWav whole = ParseWorkingWav(ReadBytes(dir.Path("whole.wav")));
        const WorkingWav part = ParseWorkingWav(ReadBytes(dir.Path("part.wav")));
        const std::size_t wanted =
            (std::size_t{c.stopAfterMs} * static_cast<std::size_t>(c.rate) + 999) / 1000 *
            static_cast<std::size_t>(c.channels);
        ASSERT_GE(part.samples.size(), wanted);
        EXPECT_LT(part.samples.size(), whole.samples.size());
        EXPECT_EQ(part.dataLength, part.samples.size() * 2);
        EXPECT_TRUE(std::equal(part.samples.begin(), part.samples.end(), whole.samples.begin()));
    }
}

} // namespace
} // namespace orvanta::test
