#pragma once

#include <cstdint>

namespace orvanta {

// The fade factor of frame `frame` of a cut of `totalFrames` frames: a linear rise from 0 over
// the fade-in, a linear fall to 1/fadeOutFrames at the last frame, 1 between. Where the two
// would overlap the fade-in wins; a fade length of 0 means no fade, and a fade longer than the
// cut lasts the whole cut.
float FadeEnvelope(uint32_t frame, uint32_t sampleRate, uint32_t totalFrames, int32_t fadeInMs,
                   int32_t fadeOutMs);

} // namespace orvanta
