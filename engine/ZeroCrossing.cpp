#include "ZeroCrossing.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace orvanta {

namespace {

bool Negative(int16_t sample) {
    return sample < 0;
}

bool SignChangesBetween(std::span<const int16_t> samples, uint32_t channels, uint32_t a,
                        uint32_t b) {
    for (uint32_t channel = 0; channel < channels; ++channel) {
        if (Negative(samples[a * channels + channel]) !=
            Negative(samples[b * channels + channel])) {
            return true;
        }
    }
    return false;
}

uint32_t Magnitude(std::span<const int16_t> samples, uint32_t channels, uint32_t frame) {
    uint32_t sum = 0;
    for (uint32_t channel = 0; channel < channels; ++channel) {
        sum += static_cast<uint32_t>(std::abs(int32_t{samples[frame * channels + channel]}));
    }
    return sum;
}

} // namespace

std::optional<uint32_t> FindZeroCrossing(std::span<const int16_t> samples, uint32_t channels,
                                         uint32_t centre, uint32_t radius) {
    if (channels < 1 || channels > 2 || samples.size() < channels) {
        return std::nullopt;
    }
    const auto frames = static_cast<uint32_t>(samples.size() / channels);
    if (centre >= frames) {
        return std::nullopt;
    }
    const uint32_t first = centre > radius ? centre - radius : 0;
    const uint32_t last = std::min(frames - 1, centre + std::min(radius, frames));
    std::optional<uint32_t> best;
    uint32_t bestMagnitude = std::numeric_limits<uint32_t>::max();
    uint32_t bestDistance = std::numeric_limits<uint32_t>::max();
    for (uint32_t frame = first; frame <= last; ++frame) {
        const bool crossing =
            (frame > 0 && SignChangesBetween(samples, channels, frame - 1, frame)) ||
            (frame + 1 < frames && SignChangesBetween(samples, channels, frame, frame + 1));
        if (!crossing) {
            continue;
        }
        const uint32_t magnitude = Magnitude(samples, channels, frame);
        const uint32_t distance = frame > centre ? frame - centre : centre - frame;
        if (magnitude < bestMagnitude || (magnitude == bestMagnitude && distance < bestDistance)) {
            best = frame;
            bestMagnitude = magnitude;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace orvanta
