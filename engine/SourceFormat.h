#pragma once

#include <cstdint>
#include <string_view>

namespace orvanta {

// The numeric values are part of the engine's contract: callers compare them and the log
// prints them, so they must never be renumbered.
enum class SourceFormat : int32_t {
    None = 0,
    RawPcm = 1,
    Wave = 2,
    Aiff = 3,
    MpegLayer1 = 4,
    MpegLayer2 = 5,
    MpegLayer3 = 6,
    MpegAny = 7,
    Vorbis = 8,
};

// 1, 2 or 3 for a fixed MPEG layer, -1 for an MPEG layer not yet known, 0 for everything that
// is not decoded through LAME's MPEG decoder.
int MpegFamily(SourceFormat format);

// Judges by the last four characters only, case-insensitively (ASCII): "song.AIFF" is None and
// is left to content detection.
SourceFormat FormatFromExtension(std::string_view path);

} // namespace orvanta
