#include "MpegFrameChain.h"

#include "MpegFrameHeader.h"
#include "PositionedIo.h"

#include <algorithm>
#include <optional>

namespace orvanta {

namespace {

constexpr std::size_t kReadWindowBytes = 256 * 1024;
// A frame header and the longest layer III side information after it (with its CRC): the
// window is refilled before it holds less.
constexpr std::size_t kFrameStartBytes = 4 + 2 + 32;

// Reads `count` bits from `bytes` at bit `at`, most significant first.
uint32_t Bits(std::span<const uint8_t> bytes, std::size_t& at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++at) {
        value = value << 1 | ((bytes[at / 8] >> (7 - at % 8)) & 1u);
    }
    return value;
}

// Follows a layer III stream's bit reservoir frame by frame, as LAME's decoder buffers it: each
// frame's main data may begin in bytes of earlier frames that the decoder still holds, and ends
// within the frame. A damaged frame that reaches further back makes the decoder read memory
// left from earlier frames, and one that reaches past its end makes it read on into the next
// frame; what it decodes then depends on what it decoded before and on how the bytes were
// handed to it. Layers I and II keep no reservoir.
class ReservoirTrack {
public:
    // False for a frame whose main data does not lie within the bytes the decoder holds.
    bool Take(std::span<const uint8_t> start, uint32_t frameBytes) {
        if (((start[1] >> 1) & 3) != 1) {
            return true;
        }
        const bool mpeg1 = ((start[1] >> 3) & 3) == 3;
        const bool mono = (start[3] >> 6) == 3;
        const std::size_t crcBytes = (start[1] & 1) == 0 ? 2 : 0;
        const int channels = mono ? 1 : 2;
        const uint64_t sideBytes = crcBytes + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
        std::size_t at = (4 + crcBytes) * 8;
        const uint64_t backBytes = Bits(start, at, mpeg1 ? 9 : 8);
        at += mpeg1 ? (mono ? 5 : 3) + 4 * static_cast<std::size_t>(channels) : (mono ? 1 : 2);
        uint64_t dataBits = 0;
        for (int part = 0; part < (mpeg1 ? 2 : 1) * channels; ++part) {
            std::size_t field = at;
            dataBits += Bits(start, field, 12);
            at += mpeg1 ? 59 : 63;
        }
        if (frameBytes < 4 + sideBytes || start.size() < 4 + sideBytes) {
            return false;
        }
        const uint64_t ownBytes = frameBytes - 4 - sideBytes; // after the side information
        const uint64_t neededBits = dataBits > 8 * backBytes ? dataBits - 8 * backBytes : 0;
        // The first frame cannot reach back at all: the decoder skips its data, reading nothing.
        if ((!m_first && backBytes > m_heldBytes) || (neededBits + 7) / 8 > ownBytes) {
            return false;
        }
        m_heldBytes = ownBytes + (m_first ? 0 : std::min(backBytes, m_heldBytes));
        m_first = false;
        return true;
    }

private:
    bool m_first = true;
    uint64_t m_heldBytes = 0; // reservoir bytes the next frame can reach back into
};

} // namespace

MpegFrameChain WalkMpegFrameChain(int descriptor, uint64_t first, uint64_t readableSize) {
    MpegFrameChain chain;
    std::vector<uint8_t> window(kReadWindowBytes);
    uint64_t windowStart = 0;
    uint64_t windowEnd = 0;
    uint32_t streamKey = 0;
    ReservoirTrack reservoir;
    uint64_t at = first;
    while (at + 4 <= readableSize) {
        if (at + kFrameStartBytes > windowEnd && windowEnd < readableSize) {
            const auto size =
                static_cast<std::size_t>(std::min<uint64_t>(kReadWindowBytes, readableSize - at));
            if (!ReadAt(descriptor, at, std::span(window).first(size))) {
                break;
            }
            windowStart = at;
            windowEnd = at + size;
        }
        const std::span<const uint8_t> start = std::span<const uint8_t>(window).subspan(
            static_cast<std::size_t>(at - windowStart), static_cast<std::size_t>(windowEnd - at));
        const std::optional<MpegFrameLayout> layout =
            FrameLayout(std::span<const uint8_t, 4>(start.data(), 4));
        if (!layout || (chain.samples != 0 && layout->streamKey != streamKey) ||
            layout->bytes > readableSize - at || !reservoir.Take(start, layout->bytes)) {
            break;
        }
        streamKey = layout->streamKey;
        chain.samples = layout->samples;
        chain.offsets.push_back(at);
        at += layout->bytes;
    }
    chain.offsets.push_back(at);
    return chain;
}

bool HoldsNoFrameSync(int descriptor, uint64_t from, uint64_t to, uint64_t longest) {
    if (to < from || to - from > longest) {
        return false;
    }
    std::vector<uint8_t> window(kReadWindowBytes);
    bool afterFF = false;
    for (uint64_t at = from; at < to;) {
        const auto size = static_cast<std::size_t>(std::min<uint64_t>(kReadWindowBytes, to - at));
        if (!ReadAt(descriptor, at, std::span(window).first(size))) {
            return false;
        }
        for (std::size_t i = 0; i < size; ++i) {
            if (afterFF && (window[i] & 0xE0) == 0xE0) {
                return false;
            }
            afterFF = window[i] == 0xFF;
        }
        at += size;
    }
    return true;
}

MpegFrameReader::MpegFrameReader(int descriptor, const MpegFrameChain& chain)
    : m_descriptor(descriptor), m_chain(chain), m_window(kReadWindowBytes) {}

std::span<uint8_t> MpegFrameReader::Frame(uint32_t index) {
    const uint64_t begin = m_chain.offsets[index];
    const uint64_t end = m_chain.offsets[index + 1];
    if (begin < m_start || end > m_start + m_size) {
        m_size = static_cast<std::size_t>(
            std::min<uint64_t>(kReadWindowBytes, m_chain.offsets.back() - begin));
        if (!ReadAt(m_descriptor, begin, std::span(m_window).first(m_size))) {
            m_size = 0;
            return {};
        }
        m_start = begin;
    }
    return std::span(m_window).subspan(static_cast<std::size_t>(begin - m_start),
                                       static_cast<std::size_t>(end - begin));
}

} // namespace orvanta
