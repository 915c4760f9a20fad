#pragma once

#include "SourceFormat.h"

#include <cstdint>

namespace orvanta {

inline constexpr uint32_t kUnknownSampleCount = 0xFFFFFFFF;
// The largest MPEG frame, and the size of every sample block the readers hand out.
inline constexpr int kMaxFrameSamples = 1152;

// How the open input's samples are to be read; reset by every InputReader::Open.
struct ReaderState {
    SourceFormat format = SourceFormat::None;
    // Set once a WAV or AIFF header announced a sample count: never read beyond it.
    bool countSamplesCarefully = false;
    // Sample frames delivered; counted only while the total is known.
    uint32_t samplesRead = 0;
    int32_t pcmBitWidth = 16;
    bool pcmBigEndian = false;
    // WAV stores 8-bit samples offset by 128; AIFF stores them signed.
    bool pcmUnsigned8Bit = true;
};

// What LAME's decoder tells of an MPEG stream; frameNumber is advanced by the decode loop.
struct Mp3StreamInfo {
    int32_t headerParsed = 0;
    int32_t channels = 0;
    int32_t sampleRate = 0; // Hz
    int32_t bitrate = 0;    // kbps; 0 for free format
    int32_t mode = 0;
    int32_t modeExtension = 0;
    int32_t frameSize = 0;     // samples per frame
    uint32_t totalSamples = 0; // kUnknownSampleCount when unknown
    int32_t totalFrames = 0;
    int32_t frameNumber = 0;
};

} // namespace orvanta
