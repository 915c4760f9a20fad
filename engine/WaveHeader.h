#pragma once

#include "FileHandle.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

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

// Reads the first 44 bytes of `file` as a canonical header, without walking chunks. False
// unless they say "RIFF", "WAVE", a 16-byte "fmt " chunk of PCM (format 1) with 1 or 2 channels,
// a sample rate and 8 or 16 bits, and "data" at byte 36: anything else (a LIST chunk before the
// data, as some tools write) would have chunk bytes taken for samples.
bool ReadWaveHeader(std::FILE* file, WaveHeaderFields& header);

// The working WAV of the byte-level passes (peak file, cut), opened and its header read. Only a
// regular file is read (a FIFO would block, a device never ends), and only one whose length a
// WAV header can describe. False, with the reason in the engine's log, otherwise.
bool OpenWorkingWav(const std::string& path, FilePtr& file, WaveHeaderFields& header,
                    uint64_t& fileLength);

// The sample bytes of a working WAV `fileLength` bytes long, in whole frames: its header's data
// length as far as the file reaches. A chunk after the data (the LIST chunk some tools append)
// is not audio; a header never completed (a data length past the end) counts what is there.
uint64_t AudioBytes(const WaveHeaderFields& header, uint64_t fileLength);

// Writes the canonical 44-byte PCM WAV header at the current position, all fields
// little-endian. Returns 0, or -1 when the stream's error indicator is set afterwards.
int WriteWaveHeader(std::FILE* file, uint32_t dataLength, int sampleRate, int channels, int bits);

} // namespace orvanta
