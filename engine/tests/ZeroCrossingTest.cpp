#include "EngineHarness.h"
#include "TestSources.h"
#include "WavProcessor.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace orvanta::test {
namespace {

constexpr int kRate = 8000;
constexpr uint32_t kFrames = kRate;
constexpr uint32_t kWindow = kRate * 5 / 1000; // frames each way

uint32_t Magnitude(const std::vector<int16_t>& samples, int channels, uint32_t frame) {
    uint32_t sum = 0;
    for (int c = 0; c < channels; ++c) {
        sum += static_cast<uint32_t>(std::abs(samples[frame * channels + c]));
    }
    return sum;
}

uint32_t QuietestNear(const std::vector<int16_t>& samples, int channels, uint32_t frame) {
    uint32_t quietest = UINT32_MAX;
    for (uint32_t f = frame - kWindow; f <= frame + kWindow; ++f) {
        quietest = std::min(quietest, Magnitude(samples, channels, f));
    }
    return quietest;
}

std::vector<int16_t> Signal(int channels, const std::function<double(int, uint32_t)>& value) {
    std::vector<int16_t> samples;
    for (uint32_t n = 0; n < kFrames; ++n) {
        for (int c = 0; c < channels; ++c) {
            samples.push_back(static_cast<int16_t>(std::lround(value(c, n))));
        }
    }
    return samples;
}

double Sine(uint32_t n, double phase) {
    return 12000.0 * std::sin(2 * std::numbers::pi * 330.0 * n / kRate + phase);
}

TEST(ZeroCrossingTest, EachEndMovesToTheQuietestCrossingNearbyOrStays) {
    const struct {
        const char* what;
        int channels;
        std::function<double(int, uint32_t)> value;
        bool moves;
    } rows[] = {
        {"mono sine", 1, [](int, uint32_t n) { return Sine(n, 0.3); }, true},
        {"channels crossing at different frames", 2,
         [](int c, uint32_t n) { return Sine(n, c == 0 ? 0.3 : 1.1); }, true},
        {"DC offset", 2, [](int, uint32_t n) { return 20000.0 + Sine(n, 0.3) / 2; }, false},
        {"silence", 1, [](int, uint32_t) { return 0.0; }, false},
        {"touches zero from above", 1, [](int, uint32_t n) { return std::abs(Sine(n, 0.3)); },
         false},
    };
    TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<int16_t> samples = Signal(row.channels, row.value);
        WriteBytes(dir.Path("work.wav"), MakeWav16(samples, row.channels, kRate));
        const int32_t startMs = 203;
        const int32_t endMs = 611;
        const auto snapped =
            WavProcessor().SnapCutToZeroCrossings(dir.Path("work.wav"), startMs, endMs);
        ASSERT_TRUE(snapped) << row.what;
        const uint32_t start = startMs * kRate / 1000;
        const uint32_t last = endMs * kRate / 1000 - 1;
        if (!row.moves) {
            EXPECT_EQ(snapped->start, start) << row.what;
            EXPECT_EQ(snapped->end, last + 1) << row.what;
            continue;
        }
        EXPECT_LE(std::abs(static_cast<int>(snapped->start - start)), int{kWindow}) << row.what;
        EXPECT_LE(std::abs(static_cast<int>(snapped->end - 1 - last)), int{kWindow}) << row.what;

        RecordingProgress progress;
        const ScopedProgressSteps installed(progress);
        int cancelled = 0;
        ASSERT_TRUE(WavProcessor().CutRingtoneSnapped(dir.Path("work.wav"), dir.Path("ring.wav"),
                                                      startMs, endMs, 0, 1.0f, cancelled));
        const WorkingWav ring = ParseWorkingWav(ReadBytes(dir.Path("ring.wav")));
        const uint32_t frames = static_cast<uint32_t>(ring.samples.size()) / row.channels;
        ASSERT_EQ(frames, snapped->end - snapped->start) << row.what;
        EXPECT_EQ(Magnitude(ring.samples, row.channels, 0),
                  QuietestNear(samples, row.channels, start))
            << row.what;
        EXPECT_EQ(Magnitude(ring.samples, row.channels, frames - 1),
                  QuietestNear(samples, row.channels, last))
            << row.what;
    }
}

} // namespace
} // namespace orvanta::test
