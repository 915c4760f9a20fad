#pragma once

#include <cstddef>
#include <cstdint>

namespace orvanta {

// The waveform peak file (".wfp"): a 32-bit little-endian channel count, then for every
// PeakStep-th sample frame of the working WAV one signed 16-bit little-endian value per channel,
// left then right. The values are plain samples, not maxima; a reader takes the group count from
// the file's length and the sample rate from the working WAV.
struct PeakFile {
    static constexpr uint32_t PeakStep = 128; // sample frames between two value groups
    static constexpr std::size_t HeaderBytes = 4;

    // The value stored for one sample of `bitsPerSample` bits; false for layouts that store none.
    static bool SampleValue(const uint8_t* sample, uint16_t bitsPerSample, int16_t& value);
};

} // namespace orvanta
