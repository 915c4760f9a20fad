#pragma once

#include "PcmSink.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// The peak file of a WAV, built from its sample frames as they are handed over in order, so it
// can be written without reading the WAV again. The values stay in memory until written: 4 bytes
// per 128 stereo frames, about 5 MB for an hour at 44.1 kHz.
class PeakBuilder final : public PcmSink {
public:
    explicit PeakBuilder(uint16_t bitsPerSample = 16) : m_bits(bitsPerSample) {}

    // The next frames of the WAV. An empty block fixes the channel count of a WAV with none.
    void Written(std::span<const uint8_t> frames, int channels) override;
    std::unique_ptr<PcmSink> Branch(uint64_t firstFrame) const override;
    // A branch that did not start where this builder ends breaks it (Intact turns false).
    void Merge(PcmSink& branch) override;

    // True when some block came and every block held whole frames of one channel count: only
    // then do the values stand for everything that was written.
    bool Intact() const { return m_channels != 0 && !m_broken; }
    uint64_t SampleBytes() const { return m_sampleBytes; }
    uint64_t Frames() const { return m_frames; }

    // Writes the whole peak file (channel count, then the values) at the stream's position.
    bool WriteTo(std::FILE* file) const;

private:
    uint16_t m_bits;
    uint64_t m_firstFrame = 0; // of the WAV: nonzero in a branch
    uint16_t m_channels = 0;
    bool m_broken = false;
    uint64_t m_sampleBytes = 0;
    uint64_t m_frames = 0;
    std::vector<uint8_t> m_values; // little-endian 16-bit values, as the file holds them
};

} // namespace orvanta
