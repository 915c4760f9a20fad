#include "FadeEnvelope.h"

#include <algorithm>

namespace orvanta {

namespace {

// A fade never reaches beyond the cut: clamping in floating point also keeps a length of
// hours at a high rate from overflowing the conversion to 32 bits.
uint32_t FadeFrames(uint32_t sampleRate, int32_t fadeMs, uint32_t totalFrames) {
    const double frames = sampleRate * static_cast<double>(fadeMs) * 0.001;
    return frames > 0 ? static_cast<uint32_t>(std::min(frames, static_cast<double>(totalFrames)))
                      : 0;
}

} // namespace

float FadeEnvelope(uint32_t frame, uint32_t sampleRate, uint32_t totalFrames, int32_t fadeInMs,
                   int32_t fadeOutMs) {
    const uint32_t fadeInFrames = FadeFrames(sampleRate, fadeInMs, totalFrames);
    if (frame < fadeInFrames) {
        return static_cast<float>(static_cast<double>(frame) / fadeInFrames);
    }
    const uint32_t fadeOutFrames = FadeFrames(sampleRate, fadeOutMs, totalFrames);
    const uint32_t fadeOutStart = totalFrames - fadeOutFrames;
    if (fadeOutFrames > 0 && frame > fadeOutStart) {
        return static_cast<float>(1.0 - static_cast<double>(frame - fadeOutStart) / fadeOutFrames);
    }
    return 1.0f;
}

} // namespace orvanta
