#include "MpegFrameHeader.h"

#include <array>

namespace orvanta {

namespace {

// The layer the header announces, if `format` still allows it; None otherwise.
SourceFormat AllowedLayer(uint8_t layerBits, SourceFormat format) {
    SourceFormat layer = SourceFormat::None;
    switch (layerBits) {
    case 0x02:
        layer = SourceFormat::MpegLayer3;
        break;
    case 0x04:
        layer = SourceFormat::MpegLayer2;
        break;
    case 0x06:
        layer = SourceFormat::MpegLayer1;
        break;
    default:
        return SourceFormat::None;
    }
    return format == layer || format == SourceFormat::MpegAny ? layer : SourceFormat::None;
}

// MPEG-1 layer II forbids some channel modes at some bitrates: bit n set at a bitrate index
// means channel mode n is not allowed there.
bool IsAllowedLayer2Mode(uint8_t b2, uint8_t b3) {
    static constexpr std::array<uint8_t, 16> kForbiddenModes{0, 7, 7, 7, 0, 7, 0, 0,
                                                             0, 0, 0, 8, 8, 8, 8, 8};
    const int mode = b3 >> 6;
    return ((kForbiddenModes[b2 >> 4] >> mode) & 1) == 0;
}

} // namespace

bool IsValidFrameHeader(std::span<const uint8_t, 4> header, SourceFormat& format) {
    const uint8_t b0 = header[0];
    const uint8_t b1 = header[1];
    const uint8_t b2 = header[2];
    const uint8_t b3 = header[3];
    if (b0 != 0xFF || (b1 & 0xE0) != 0xE0) {
        return false;
    }
    if ((b1 & 0x18) == 0x08) {
        return false; // reserved MPEG version
    }
    const SourceFormat layer = AllowedLayer(b1 & 0x06, format);
    if (layer == SourceFormat::None) {
        return false;
    }
    if ((b2 & 0xF0) == 0xF0 || (b2 & 0x0C) == 0x0C) {
        return false; // bad bitrate index or reserved sample rate
    }
    const bool isMpeg1 = (b1 & 0x18) == 0x18;
    if (isMpeg1 && layer == SourceFormat::MpegLayer2 && !IsAllowedLayer2Mode(b2, b3)) {
        return false;
    }
    if ((b3 & 3) == 2) {
        return false; // reserved emphasis
    }
    format = layer;
    return true;
}

} // namespace orvanta
