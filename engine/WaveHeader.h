#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace orvanta {

inline constexpr std::size_t kWaveHeaderBytes = 44;

// The fields of a canonical 44-byte header that the engine's later steps use, and its bytes.
struct WaveHeaderFields {
    std::array<uint8_t, kWaveHeaderBytes> bytes{};
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint32_t dataLength = 0;

    // Bytes per sample frame; 0 for a header with no channels or no bits.
    uint32_t BlockSize() const { return uint32_t{bitsPerSample} * channels / 8; }
};

// Reads the first 44 bytes of `file` as a canonical header, without walking chunks; false when
// the file is shorter than that.
bool ReadWaveHeader(std::FILE* file, WaveHeaderFields& header);

// Writes the canonical 44-byte PCM WAV header at the current position, all fields
// little-endian. Returns 0, or -1 when the stream's error indicator is set afterwards.
int WriteWaveHeader(std::FILE* file, uint32_t dataLength, int sampleRate, int channels, int bits);

} // namespace orvanta
