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

// Bitrates in kbit/s by bitrate index: MPEG-1 layers I, II, III, then MPEG-2/2.5 layer I and
// layers II/III.
constexpr std::array<std::array<uint16_t, 15>, 5> kBitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
}};
constexpr std::array<uint32_t, 3> kMpeg1Rates{44100, 48000, 32000};

} // namespace

std::optional<MpegFrameLayout> FrameLayout(std::span<const uint8_t, 4> header) {
    SourceFormat format = SourceFormat::MpegAny;
    if (!IsValidFrameHeader(header, format)) {
        return std::nullopt;
    }
    const int layer = format == SourceFormat::MpegLayer1   ? 1
                      : format == SourceFormat::MpegLayer2 ? 2
                                                           : 3;
    const int version = (header[1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const bool mpeg1 = version == 3;
    const int bitrateIndex = header[2] >> 4;
    if (bitrateIndex == 0) {
        return std::nullopt;
    }
    const uint32_t kbps = kBitrates[mpeg1 ? layer - 1 : layer == 1 ? 3 : 4][bitrateIndex];
    const uint32_t rate = kMpeg1Rates[(header[2] >> 2) & 3] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const uint32_t padding = (header[2] >> 1) & 1;
    MpegFrameLayout layout;
    if (layer == 1) {
        layout.samples = 384;
        layout.bytes = (12 * kbps * 1000 / rate + padding) * 4;
    } else {
        layout.samples = layer == 3 && !mpeg1 ? 576 : 1152;
        layout.bytes = layout.samples / 8 * kbps * 1000 / rate + padding;
    }
    const uint32_t mono = (header[3] >> 6) == 3 ? 1 : 0;
    layout.streamKey =
        (uint32_t{header[1]} & 0xFEu) | (uint32_t{header[2]} & 0x0Cu) << 8 | mono << 16;
    return layout;
}

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
