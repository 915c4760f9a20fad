#pragma once

#include <cstdint>

namespace orvanta {

// The size in bytes of the MP3 that ConversionEngine::EncodeToMp3 writes for `frames` sample
// frames of `channels`-channel audio at `sampleRate`, with the page's two choices: stereo (else
// mono) and the MP3's sample rate. LAME's own defaults pick the bit rate and the frame count, so
// the figure is asked of LAME, not worked out beside it. 0 when LAME refuses the settings.
uint64_t PredictedMp3Bytes(uint64_t frames, unsigned sampleRate, unsigned channels, bool stereo,
                           int outSampleRate);

} // namespace orvanta
