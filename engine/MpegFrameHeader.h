#pragma once

#include "SourceFormat.h"

#include <cstdint>
#include <optional>
#include <span>

namespace orvanta {

// Checks four bytes for a plausible MPEG audio frame header. The first header that passes every
// check locks `format` to its layer for the whole conversion. A header refused by a later check
// locks nothing, so bytes such as FF FF before the first frame cannot shut out its layer.
bool IsValidFrameHeader(std::span<const uint8_t, 4> header, SourceFormat& format);

// What a frame header says of its frame, for walking a stream frame by frame without decoding.
struct MpegFrameLayout {
    uint32_t bytes = 0;   // the whole frame, header included
    uint32_t samples = 0; // per channel
    // Version, layer, sample rate and channel count: a decoder takes two frames for one stream
    // only when these agree.
    uint32_t streamKey = 0;
};

// The layout of the frame `header` starts; nullopt for a header that is not valid or that
// leaves its length open (free format, where only the next header tells it).
std::optional<MpegFrameLayout> FrameLayout(std::span<const uint8_t, 4> header);

} // namespace orvanta
