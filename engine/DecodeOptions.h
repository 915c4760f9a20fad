#pragma once

#include "PcmSink.h"

#include <cstdint>
#include <optional>
#include <vector>

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
    // How many pieces an MPEG stream is decoded in at once; 0 = one per core the process may
    // use (at most 4), one for a short song. A piece whose start cannot be proven to decode as
    // the one-thread decode would is decoded by the piece before it instead.
    int pieces = 0;
    // Frames (counted from the stream's first frame header, a Xing/Info frame included) where
    // pieces start, in place of an even split; a test seam that puts a split on a chosen frame.
    std::vector<uint32_t> splitFrames = {};
};

} // namespace orvanta
