#include "SourceFormat.h"

#include <array>
#include <utility>

namespace orvanta {

int MpegFamily(SourceFormat format) {
    switch (format) {
    case SourceFormat::MpegLayer1:
        return 1;
    case SourceFormat::MpegLayer2:
        return 2;
    case SourceFormat::MpegLayer3:
        return 3;
    case SourceFormat::MpegAny:
        return -1;
    default:
        return 0;
    }
}

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

SourceFormat FormatFromExtension(std::string_view path) {
    constexpr std::size_t kExtensionLength = 4;
    if (path.size() < kExtensionLength) {
        return SourceFormat::None;
    }
    std::array<char, kExtensionLength> tail{};
    const std::string_view last = path.substr(path.size() - kExtensionLength);
    for (std::size_t i = 0; i < kExtensionLength; ++i) {
        tail[i] = AsciiLower(last[i]);
    }
    const std::string_view extension(tail.data(), tail.size());

    static constexpr std::array<std::pair<std::string_view, SourceFormat>, 8> kCandidates{{
        {".mpg", SourceFormat::MpegAny},
        {".mp1", SourceFormat::MpegAny},
        {".mp2", SourceFormat::MpegAny},
        {".mp3", SourceFormat::MpegAny},
        {".wav", SourceFormat::Wave},
        {".aif", SourceFormat::Aiff},
        {".raw", SourceFormat::RawPcm},
        {".ogg", SourceFormat::Vorbis},
    }};
    for (const auto& [candidate, format] : kCandidates) {
        if (extension == candidate) {
            return format;
        }
    }
    return SourceFormat::None;
}

} // namespace orvanta
