#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace orvanta {

// Sees the sample bytes of a WAV as they are written to it, in file order: whole frames of
// `channels` channels, header excluded. Lets work that needs every sample (the peak file) ride
// along with the decode instead of reading the finished file again.
class PcmSink {
public:
    virtual ~PcmSink() = default;
    virtual void Written(std::span<const uint8_t> frames, int channels) = 0;

    // A sink for the frames from `firstFrame` on, for a decode that writes a later part of the
    // file on another thread; null when this sink cannot follow one. Merge takes a branch's
    // frames in once everything before them has been written here.
    virtual std::unique_ptr<PcmSink> Branch(uint64_t firstFrame) const = 0;
    virtual void Merge(PcmSink& branch) = 0;
};

} // namespace orvanta
