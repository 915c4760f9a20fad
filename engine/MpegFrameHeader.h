#pragma once

#include "SourceFormat.h"

#include <cstdint>
#include <span>

namespace orvanta {

// Checks four bytes for a plausible MPEG audio frame header. The first header that passes every
// check locks `format` to its layer for the whole conversion. A header refused by a later check
// locks nothing, so bytes such as FF FF before the first frame cannot shut out its layer.
bool IsValidFrameHeader(std::span<const uint8_t, 4> header, SourceFormat& format);

} // namespace orvanta
