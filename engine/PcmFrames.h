#pragma once

#include "FileHandle.h"
#include "WaveHeader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvanta {

// Samples of an 8- or 16-bit working WAV as floats, full scale 1.0, and back. The way back
// truncates toward zero and saturates, as the cut's gain always has; 8-bit samples keep their
// designed midpoint of 127.
void BytesToFloats(std::span<const uint8_t> bytes, uint16_t bits, float* out);
void FloatsToBytes(const float* samples, std::size_t count, uint16_t bits, uint8_t* out);

// A stretch of a working WAV, open for reading at its first frame. The bounds are whole frames
// worked out as the cut works them out, clamped to the audio the file holds.
struct WavStretch {
    FilePtr file;
    WaveHeaderFields header;
    uint64_t firstFrame = 0;
    uint32_t frames = 0;
};

// `endMs` < 0 means the end of the audio. False, with the reason logged, when the WAV is refused.
bool OpenWavStretch(const std::string& path, int32_t startMs, int32_t endMs, WavStretch& stretch);

// Reads the next `frames` frames of the stretch into `out` as interleaved floats; false on a
// short read.
bool ReadFloatFrames(WavStretch& stretch, uint32_t frames, std::vector<float>& out);

// Reads the whole stretch in blocks of interleaved floats and hands each to `use` with the
// stretch's index of its first frame; false on a short read or once `stop` is true.
bool ForEachFloatBlock(WavStretch& stretch, const std::atomic<bool>* stop,
                       const std::function<void(std::vector<float>& block, uint32_t firstFrame,
                                                uint32_t frames)>& use);

// The share (0 to 1) of the samples of startMs..endMs that `gain` would take beyond full scale;
// nullopt when the WAV is refused or `stop` became true.
std::optional<double> ClippedShare(const std::string& wavPath, int32_t startMs, int32_t endMs,
                                   float gain, const std::atomic<bool>* stop = nullptr);

} // namespace orvanta
