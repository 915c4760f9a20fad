#include "TruePeakLimiter.h"

#include "Loudness.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace orvanta {
namespace {

constexpr unsigned kRate = 44100;
constexpr double kCeilingDbtp = -1.0;
constexpr std::size_t kEventFrames = kRate / 5;
constexpr std::size_t kFrames = kRate * 2;

// Quiet tone everywhere, `loud` (frame, channel) inside the event when it gives a value.
using LoudPart = std::function<float(std::size_t, unsigned)>;

std::vector<float> Signal(unsigned channels, std::size_t eventStart, const LoudPart& loud) {
    std::vector<float> samples;
    for (std::size_t n = 0; n < kFrames; ++n) {
        for (unsigned c = 0; c < channels; ++c) {
            const bool inEvent = n >= eventStart && n < eventStart + kEventFrames;
            samples.push_back(inEvent && loud ? loud(n, c)
                                              : 0.1f * static_cast<float>(std::sin(0.05 * n)));
        }
    }
    return samples;
}

std::vector<float> Limit(const std::vector<float>& input, unsigned channels, bool& acted) {
    TruePeakLimiter limiter(channels, kRate, kCeilingDbtp);
    std::vector<float> output;
    for (std::size_t at = 0; at < input.size(); at += 1000 * channels) {
        const std::size_t frames = std::min<std::size_t>(1000, (input.size() - at) / channels);
        limiter.Process(input.data() + at, frames, output);
    }
    limiter.Finish(output);
    acted = limiter.Acted();
    return output;
}

struct LimiterCase {
    const char* name;
    unsigned channels;
    std::size_t eventStart;
    LoudPart loud;
    bool needsLimiting;
};

TEST(TruePeakLimiterTest, KeepsTruePeakUnderCeilingAndLeavesTheRestUntouched) {
    const auto sine = [](double cyclesPerFrame, double phase, float amplitude) {
        return [=](std::size_t n, unsigned) {
            return amplitude *
                   static_cast<float>(std::sin(2 * std::numbers::pi * cyclesPerFrame * n + phase));
        };
    };
    const LimiterCase cases[] = {
        {"impulses", 1, kRate / 2,
         [](std::size_t n, unsigned) { return n % 4410 == 0 ? 1.0f : 0.0f; }, true},
        {"full-scale square", 2, kRate / 2,
         [](std::size_t n, unsigned) { return (n / 22) % 2 == 0 ? 1.0f : -1.0f; }, true},
        // Every sample at -3 dBFS, the wave between them at 0 dBTP.
        {"square from the first frame", 1, 0,
         [](std::size_t n, unsigned) { return (n / 10) % 2 == 0 ? 1.0f : -1.0f; }, true},
        {"inter-sample peaks", 2, kRate / 2, sine(0.25, std::numbers::pi / 4, 1.0f), true},
        {"one loud channel", 2, kRate / 2,
         [](std::size_t n, unsigned c) {
             return c == 1 ? static_cast<float>(std::sin(0.3 * n)) : 0.1f;
         },
         true},
        {"nothing loud", 2, kRate / 2, sine(0.01, 0.0, 0.5f), false},
    };
    for (const LimiterCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> input = Signal(c.channels, c.eventStart, c.loud);
        bool acted = false;
        const std::vector<float> output = Limit(input, c.channels, acted);
        ASSERT_EQ(output.size(), input.size());
        EXPECT_EQ(acted, c.needsLimiting);
        LoudnessMeter meter(c.channels, kRate);
        meter.Add(output.data(), kFrames);
        EXPECT_LE(meter.Figures().truePeakDbtp, kCeilingDbtp);
        // Before the look-ahead reaches the event, and once the gain has recovered, not one
        // sample differs.
        const std::size_t untouchedBefore =
            (c.eventStart - std::min(c.eventStart, std::size_t{kRate / 100})) * c.channels;
        const std::size_t untouchedAfter = (c.eventStart + kEventFrames + kRate) * c.channels;
        for (std::size_t i = 0; i < input.size(); ++i) {
            if (!c.needsLimiting || i < untouchedBefore || i >= untouchedAfter) {
                ASSERT_EQ(output[i], input[i]) << "sample " << i;
            }
        }
    }
}

} // namespace
} // namespace orvanta
