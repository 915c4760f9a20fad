#pragma once

#include <cstdint>
#include <cstdio>

namespace orvanta {

inline constexpr long kWaveHeaderBytes = 44;

// Writes the canonical 44-byte PCM WAV header at the current position, all fields
// little-endian. Returns 0, or -1 when the stream's error indicator is set afterwards.
int WriteWaveHeader(std::FILE* file, uint32_t dataLength, int sampleRate, int channels, int bits);

} // namespace orvanta
