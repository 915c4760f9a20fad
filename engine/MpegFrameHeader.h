#pragma once

#include "SourceFormat.h"

#include <cstdint>
#include <span>

namespace orvanta {

// Checks four bytes for a plausible MPEG audio frame header. A layer that `format` still allows
// locks `format` to that layer as soon as it is seen, even when a later check refuses the
// header: the first plausible header decides the layer for the whole conversion.
bool IsValidFrameHeader(std::span<const uint8_t, 4> header, SourceFormat& format);

} // namespace orvanta
