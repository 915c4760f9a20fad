#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvanta {

// The frames of an MPEG stream whose headers follow on one from the other from its first frame,
// up to the first that does not: damage, junk, a change of rate, layer or channel count, free
// format (whose frame length no header tells), a tag, or the end of the file.
struct MpegFrameChain {
    std::vector<uint64_t> offsets; // of each frame, then where the last one ends
    uint32_t samples = 0;          // per frame and channel, the same for all of them

    uint32_t Count() const { return static_cast<uint32_t>(offsets.size() - 1); }
};

// Walks the headers of the file open as `descriptor` from `first`, reading no further than
// `readableSize`; only the headers are read.
MpegFrameChain WalkMpegFrameChain(int descriptor, uint64_t first, uint64_t readableSize);

// True when no MPEG frame could start in bytes [from, to) of the file: no frame sync (eleven
// set bits) anywhere in them, and at most `longest` of them. A decoder treats such bytes the same
// however they are handed to it; junk that holds a sync it may take for a frame or skip
// depending on how much of it it has been given at once.
bool HoldsNoFrameSync(int descriptor, uint64_t from, uint64_t to, uint64_t longest);

// Hands out a chain's frames in order (or again from an earlier one), read ahead in large
// windows with pread, so several readers may share one descriptor.
class MpegFrameReader {
public:
    MpegFrameReader(int descriptor, const MpegFrameChain& chain);

    // Empty when the frame cannot be read.
    std::span<uint8_t> Frame(uint32_t index);

private:
    int m_descriptor;
    const MpegFrameChain& m_chain;
    std::vector<uint8_t> m_window;
    uint64_t m_start = 0;
    std::size_t m_size = 0;
};

} // namespace orvanta
