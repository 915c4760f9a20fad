#include "MpegFrameChain.h"

#include "MpegFrameHeader.h"
#include "PositionedIo.h"

#include <algorithm>
#include <optional>

namespace orvanta {

namespace {

constexpr std::size_t kReadWindowBytes = 256 * 1024;

} // namespace

MpegFrameChain WalkMpegFrameChain(int descriptor, uint64_t first, uint64_t readableSize) {
    MpegFrameChain chain;
    std::vector<uint8_t> window(kReadWindowBytes);
    uint64_t windowStart = 0;
    uint64_t windowEnd = 0;
    uint32_t streamKey = 0;
    uint64_t at = first;
    while (at + 4 <= readableSize) {
        if (at + 4 > windowEnd) {
            const auto size =
                static_cast<std::size_t>(std::min<uint64_t>(kReadWindowBytes, readableSize - at));
            if (!ReadAt(descriptor, at, std::span(window).first(size))) {
                break;
            }
            windowStart = at;
            windowEnd = at + size;
        }
        const std::optional<MpegFrameLayout> layout =
            FrameLayout(std::span<const uint8_t, 4>(&window[at - windowStart], 4));
        if (!layout || (chain.samples != 0 && layout->streamKey != streamKey) ||
            layout->bytes > readableSize - at) {
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
