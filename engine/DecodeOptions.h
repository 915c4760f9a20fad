#pragma once

#include "PcmSink.h"

#include <cstdint>
#include <optional>

namespace orvanta {

// What a decode may leave out, and who watches it. A caller that needs only the audio up to some
// point (a ringtone made straight from the source) stops the decode there: the blocks are decoded
// in order, so the working WAV written is the whole decode's first bytes, byte for byte.
struct DecodeOptions {
    // Stops after the block that completes this many milliseconds of audio; nullopt = the
    // whole source.
    std::optional<uint32_t> stopAfterMs;
    // Sees every sample byte as it is written, in file order (a PeakBuilder builds the peak file
    // on the way); none when null.
    PcmSink* sink = nullptr;
};

} // namespace orvanta
