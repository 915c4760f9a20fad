#include "PcmFrames.h"

#include "EngineLog.h"

#include <algorithm>
#include <cmath>

namespace orvanta {

namespace {

constexpr float kFullScale16 = 32768.0f;
constexpr float kFullScale8 = 128.0f;
constexpr float kMidpoint8 = 127.0f;

int32_t TruncatedWithin(float value, float low, float high) {
    return static_cast<int32_t>(std::clamp(value, low, high));
}

} // namespace

void BytesToFloats(std::span<const uint8_t> bytes, uint16_t bits, float* out) {
    if (bits == 16) {
        for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
            const auto sample = static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8);
            *out++ = static_cast<float>(sample) / kFullScale16;
        }
    } else {
        for (const uint8_t byte : bytes) {
            *out++ = (static_cast<float>(byte) - kMidpoint8) / kFullScale8;
        }
    }
}

void FloatsToBytes(const float* samples, std::size_t count, uint16_t bits, uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const float value = std::isnan(samples[i]) ? 0.0f : samples[i];
        if (bits == 16) {
            const auto scaled =
                static_cast<uint16_t>(TruncatedWithin(value * kFullScale16, -32768.0f, 32767.0f));
            *out++ = static_cast<uint8_t>(scaled & 0xFF);
            *out++ = static_cast<uint8_t>(scaled >> 8);
        } else {
            *out++ = static_cast<uint8_t>(
                TruncatedWithin(value * kFullScale8 + kMidpoint8, 0.0f, 255.0f));
        }
    }
}

bool OpenWavStretch(const std::string& path, int32_t startMs, int32_t endMs, WavStretch& stretch) {
    uint64_t length = 0;
    if (!OpenWorkingWav(path, stretch.file, stretch.header, length)) {
        return false;
    }
    const uint32_t blockSize = stretch.header.BlockSize();
    const uint64_t totalFrames =
        length > kWaveHeaderBytes ? (length - kWaveHeaderBytes) / blockSize : 0;
    const double bytesPerSecond = static_cast<double>(stretch.header.sampleRate) * blockSize;
    const auto toFrame = [&](int32_t ms) {
        if (ms < 0) {
            return totalFrames;
        }
        const auto byte = static_cast<uint64_t>(std::trunc(bytesPerSecond * ms * 0.001));
        return std::min(byte / blockSize, totalFrames);
    };
    stretch.firstFrame = toFrame(startMs);
    const uint64_t endFrame = std::max(stretch.firstFrame, toFrame(endMs));
    stretch.frames = static_cast<uint32_t>(
        std::min<uint64_t>(endFrame - stretch.firstFrame, std::numeric_limits<uint32_t>::max()));
    return std::fseek(stretch.file.get(),
                      static_cast<long>(kWaveHeaderBytes + stretch.firstFrame * blockSize),
                      SEEK_SET) == 0;
}

bool ReadFloatFrames(WavStretch& stretch, uint32_t frames, std::vector<float>& out) {
    const uint32_t blockSize = stretch.header.BlockSize();
    std::vector<uint8_t> bytes(std::size_t{frames} * blockSize);
    if (std::fread(bytes.data(), 1, bytes.size(), stretch.file.get()) != bytes.size()) {
        EngineLog::Error("Error reading input file\n");
        return false;
    }
    out.resize(std::size_t{frames} * stretch.header.channels);
    BytesToFloats(bytes, stretch.header.bitsPerSample, out.data());
    return true;
}

bool ForEachFloatBlock(WavStretch& stretch, const std::atomic<bool>* stop,
                       const std::function<void(std::vector<float>& block, uint32_t firstFrame,
                                                uint32_t frames)>& use) {
    constexpr uint32_t kFramesPerRead = 8192;
    std::vector<float> block;
    for (uint32_t done = 0; done < stretch.frames;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return false;
        }
        const uint32_t count = std::min(kFramesPerRead, stretch.frames - done);
        if (!ReadFloatFrames(stretch, count, block)) {
            return false;
        }
        use(block, done, count);
        done += count;
    }
    return true;
}

std::optional<double> ClippedShare(const std::string& wavPath, int32_t startMs, int32_t endMs,
                                   float gain, const std::atomic<bool>* stop) {
    WavStretch stretch;
    if (!OpenWavStretch(wavPath, startMs, endMs, stretch)) {
        return std::nullopt;
    }
    constexpr float kHighest = 32767.0f / kFullScale16;
    uint64_t clipped = 0;
    const bool read =
        ForEachFloatBlock(stretch, stop, [&](std::vector<float>& block, uint32_t, uint32_t) {
            clipped +=
                static_cast<uint64_t>(std::count_if(block.begin(), block.end(), [gain](float x) {
                    return x * gain > kHighest || x * gain < -1.0f;
                }));
        });
    if (!read) {
        return std::nullopt;
    }
    const auto samples = static_cast<double>(stretch.frames) * stretch.header.channels;
    return samples > 0 ? static_cast<double>(clipped) / samples : 0.0;
}

} // namespace orvanta
