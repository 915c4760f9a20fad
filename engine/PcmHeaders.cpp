#include "PcmHeaders.h"

#include "EngineLog.h"

#include <array>
#include <cmath>
#include <limits>

namespace orvanta {

namespace {

constexpr uint32_t kWave = 0x57415645;
constexpr uint32_t kFmt = 0x666D7420;
constexpr uint32_t kData = 0x64617461;
constexpr uint32_t kAiff = 0x41494646;
constexpr uint32_t kAifc = 0x41494643;
constexpr uint32_t kComm = 0x434F4D4D;
constexpr uint32_t kSsnd = 0x53534E44;
constexpr uint32_t kNone = 0x4E4F4E45;
constexpr uint32_t kTwos = 0x74776F73;
constexpr uint32_t kSowt = 0x736F7774;

constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr int kMaxWaveChunks = 20;
constexpr double kMaxSampleRate = std::numeric_limits<int>::max();

struct WaveFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
};

// -1 corrupt, 0 read.
int ReadWaveFormatChunk(SourceFile& file, WaveFormat& format) {
    uint32_t length = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;
    if (!file.ReadLE32(length) || length < 16 || !file.ReadLE16(format.tag) ||
        !file.ReadLE16(format.channels) || !file.ReadLE32(format.sampleRate) ||
        !file.ReadLE32(bytesPerSecond) || !file.ReadLE16(blockAlign) ||
        !file.ReadLE16(format.bitsPerSample)) {
        return -1;
    }
    // Zero channels or bits would divide by zero in the sample count; no writer produces them.
    if (format.channels == 0 || format.bitsPerSample == 0 || format.sampleRate == 0 ||
        format.sampleRate > kMaxSampleRate) {
        return -1;
    }
    uint32_t remaining = length - 16;
    if (remaining > 9 && format.tag == kWaveFormatExtensible) {
        uint16_t extensionSize = 0;
        uint16_t validBits = 0;
        uint32_t channelMask = 0;
        if (!file.ReadLE16(extensionSize) || !file.ReadLE16(validBits) ||
            !file.ReadLE32(channelMask) || !file.ReadLE16(format.tag)) {
            return -1;
        }
        remaining -= 10;
    }
    return file.SkipForward(remaining);
}

int AcceptWaveData(SourceFile& file, lame_global_flags* context, ReaderState& state,
                   const WaveFormat& format) {
    uint32_t dataLength = 0;
    if (!file.ReadLE32(dataLength)) {
        return -1;
    }
    if (format.tag != kWaveFormatPcm) {
        EngineLog::Error("Unsupported data format: 0x%04X\n", format.tag);
        return 0;
    }
    if (lame_set_num_channels(context, format.channels) == -1) {
        EngineLog::Error("Unsupported number of channels: %u\n", format.channels);
        return 0;
    }
    lame_set_in_samplerate(context, static_cast<int>(format.sampleRate));
    state.pcmBitWidth = format.bitsPerSample;
    state.pcmUnsigned8Bit = true;
    const uint32_t bytesPerFrame = format.channels * ((format.bitsPerSample + 7u) / 8u);
    lame_set_num_samples(context, dataLength / bytesPerFrame);
    return 1;
}

} // namespace

int ParseWaveHeader(SourceFile& file, lame_global_flags* context, ReaderState& state) {
    uint32_t riffLength = 0;
    uint32_t formType = 0;
    if (!file.ReadLE32(riffLength) || !file.ReadBE32(formType) || formType != kWave) {
        return -1;
    }
    WaveFormat format;
    for (int chunk = 0; chunk < kMaxWaveChunks; ++chunk) {
        uint32_t id = 0;
        if (!file.ReadBE32(id)) {
            return -1;
        }
        if (id == kFmt) {
            if (ReadWaveFormatChunk(file, format) != 0) {
                return -1;
            }
        } else if (id == kData) {
            return AcceptWaveData(file, context, state, format);
        } else {
            uint32_t length = 0;
            // Chunks are padded to an even length; the pad byte is not counted in the length.
            if (!file.ReadLE32(length) || file.SkipForward(uint64_t{length} + (length & 1)) != 0) {
                return -1;
            }
        }
    }
    return -1;
}

double ExtendedToDouble(std::span<const uint8_t, 10> bytes) {
    const int exponent = ((bytes[0] & 0x7F) << 8) | bytes[1];
    const uint32_t high = static_cast<uint32_t>(bytes[2]) << 24 |
                          static_cast<uint32_t>(bytes[3]) << 16 |
                          static_cast<uint32_t>(bytes[4]) << 8 | bytes[5];
    const uint32_t low = static_cast<uint32_t>(bytes[6]) << 24 |
                         static_cast<uint32_t>(bytes[7]) << 16 |
                         static_cast<uint32_t>(bytes[8]) << 8 | bytes[9];
    double value = 0.0;
    if (exponent == 0 && high == 0 && low == 0) {
        value = 0.0;
    } else if (exponent == 0x7FFF) {
        value = HUGE_VAL;
    } else {
        value = std::ldexp(high, exponent - 16414) + std::ldexp(low, exponent - 16446);
    }
    return (bytes[0] & 0x80) != 0 ? -value : value;
}

namespace {

struct AiffFacts {
    bool isAifc = false;
    uint32_t compression = kNone;
    int seenComm = 0;
    int seenSsnd = 0;
    int64_t dataPosition = -1;
    uint16_t channels = 0;
    uint32_t sampleFrames = 0;
    uint16_t sampleSize = 0;
    double sampleRate = 0.0;
    uint32_t blockSize = 0;
};

uint64_t RoundedLength(uint32_t length) {
    return uint64_t{length} + (length & 1);
}

// -1 corrupt, 0 read. `chunkLength` is the rounded length.
int ReadCommChunk(SourceFile& file, AiffFacts& facts, uint64_t chunkLength) {
    const uint64_t fixedPart = facts.isAifc ? 22 : 18;
    std::array<uint8_t, 10> rate{};
    if (chunkLength < fixedPart || !file.ReadBE16(facts.channels) ||
        !file.ReadBE32(facts.sampleFrames) || !file.ReadBE16(facts.sampleSize) ||
        !file.ReadExact(rate) || (facts.isAifc && !file.ReadBE32(facts.compression))) {
        return -1;
    }
    if (facts.channels == 0) {
        return -1;
    }
    facts.sampleRate = ExtendedToDouble(rate);
    facts.seenComm = facts.seenSsnd + 1;
    return file.SkipForward(chunkLength - fixedPart);
}

// -1 corrupt, 0 read on, 1 the file stands at the first sample.
int ReadSsndChunk(SourceFile& file, AiffFacts& facts, uint64_t chunkLength) {
    facts.seenSsnd = 1;
    uint32_t offset = 0;
    if (chunkLength < 8 || !file.ReadBE32(offset) || !file.ReadBE32(facts.blockSize)) {
        return -1;
    }
    if (facts.seenComm > 0) {
        return file.SkipForward(offset) == 0 ? 1 : -1;
    }
    if (const auto position = file.Position()) {
        facts.dataPosition = static_cast<int64_t>(*position + offset);
    }
    return file.SkipForward(chunkLength - 8);
}

// Walks the FORM's chunks until the samples are found or the form ends. -1 corrupt, 0 done.
int ReadAiffChunks(SourceFile& file, AiffFacts& facts, int64_t remaining) {
    while (remaining > 0) {
        uint32_t id = 0;
        uint32_t length = 0;
        if (!file.ReadBE32(id)) {
            return 0; // the end of the file ends the form
        }
        if (!file.ReadBE32(length)) {
            return -1;
        }
        const uint64_t chunkLength = RoundedLength(length);
        int result = 0;
        if (id == kComm) {
            result = ReadCommChunk(file, facts, chunkLength);
        } else if (id == kSsnd) {
            result = ReadSsndChunk(file, facts, chunkLength);
        } else {
            result = file.SkipForward(chunkLength);
        }
        if (result != 0) {
            return result > 0 ? 0 : -1;
        }
        remaining -= static_cast<int64_t>(chunkLength) + 4;
    }
    return 0;
}

int ApplyCompression(uint32_t compression, ReaderState& state) {
    if (compression == kNone || compression == kTwos) {
        state.pcmBigEndian = true;
    } else if (compression == kSowt) {
        state.pcmBigEndian = false;
    } else {
        return -1;
    }
    return 0;
}

// 1 accepted, 0 refused with a message.
int ValidateAiff(const AiffFacts& facts) {
    if (facts.seenSsnd == 0) {
        EngineLog::Error("ERROR: input sound data is not PCM\n");
        return 0;
    }
    if (facts.sampleSize != 8 && facts.sampleSize != 16 && facts.sampleSize != 24 &&
        facts.sampleSize != 32) {
        EngineLog::Error("ERROR: input sound data is not 8, 16, 24 or 32 bits\n");
        return 0;
    }
    if (facts.channels != 1 && facts.channels != 2) {
        EngineLog::Error("ERROR: input sound data is not mono or stereo\n");
        return 0;
    }
    if (facts.blockSize != 0) {
        EngineLog::Error("ERROR: block size of input sound data is not 0 bytes\n");
        return 0;
    }
    return 1;
}

} // namespace

int ParseAiffHeader(SourceFile& file, lame_global_flags* context, ReaderState& state) {
    uint32_t formLength = 0;
    uint32_t formType = 0;
    if (!file.ReadBE32(formLength) || !file.ReadBE32(formType) ||
        (formType != kAiff && formType != kAifc)) {
        return -1;
    }
    AiffFacts facts;
    facts.isAifc = formType == kAifc;
    if (ReadAiffChunks(file, facts, formLength) != 0 ||
        ApplyCompression(facts.compression, state) != 0) {
        return -1;
    }
    if (facts.seenComm == 0 || (facts.seenSsnd == 0 && facts.sampleFrames != 0)) {
        return -1;
    }
    // A rate that is no number, or none an int can hold, is damage, not a format.
    if (!(facts.sampleRate >= 1.0 && facts.sampleRate <= kMaxSampleRate)) {
        return -1;
    }
    if (ValidateAiff(facts) == 0) {
        return 0;
    }
    if (lame_set_num_channels(context, facts.channels) == -1) {
        EngineLog::Error("Unsupported number of channels: %u\n", facts.channels);
        return 0;
    }
    lame_set_in_samplerate(context, static_cast<int>(facts.sampleRate));
    lame_set_num_samples(context, facts.sampleFrames);
    state.pcmBitWidth = facts.sampleSize;
    state.pcmUnsigned8Bit = false;
    if (facts.dataPosition >= 0 && file.SeekTo(static_cast<uint64_t>(facts.dataPosition)) != 0) {
        EngineLog::Error("Can't rewind stream to audio data position\n");
        return 0;
    }
    return 1;
}

} // namespace orvanta
