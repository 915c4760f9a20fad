#pragma once

#include <cstdint>
#include <span>

namespace orvanta {

// Sees the sample bytes of a WAV as they are written to it, in file order: whole frames of
// `channels` channels, header excluded. Lets work that needs every sample (the peak file) ride
// along with the decode instead of reading the finished file again.
class PcmSink {
public:
    virtual ~PcmSink() = default;
    virtual void Written(std::span<const uint8_t> frames, int channels) = 0;
};

} // namespace orvanta
