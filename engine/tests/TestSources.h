#pragma once

// Builders for the audio files the engine tests feed it. Every source is made at test time,
// so no unexplained binary sits in the repository.

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace orvanta::test {

using Bytes = std::vector<uint8_t>;

// A PCM signal: `frames` sample frames of a deterministic pattern that reaches both ends of
// the `bits` range, so byte order and sign mistakes show.
struct PcmSignal {
    int channels = 2;
    int sampleRate = 44100;
    int bits = 16;
    uint32_t frames = 3000;
};

// Interleaved samples in the signed `bits` domain (-2^(bits-1) .. 2^(bits-1)-1).
std::vector<int32_t> SignalSamples(const PcmSignal& signal);

struct WavOptions {
    uint16_t formatTag = 1;
    bool extensible = false; // format tag 0xFFFE with `formatTag` as the sub-format
    int listChunksBeforeFmt = 0;
    int listChunksBeforeData = 0;
    bool oddListChunks = false; // each LIST chunk has an odd length and a pad byte
    bool dataBeforeFmt = false;
};
Bytes MakeWav(const PcmSignal& signal, const WavOptions& options = {});

struct AiffOptions {
    bool aifc = false;
    std::string compression = "NONE"; // AIFF-C only
    bool ssndBeforeComm = false;
    uint32_t ssndOffset = 0;
    uint32_t blockSize = 0;
};
Bytes MakeAiff(const PcmSignal& signal, const AiffOptions& options = {});

// A 16-bit PCM WAV of the given interleaved samples.
Bytes MakeWav16(const std::vector<int16_t>& samples, int channels, int sampleRate);

// Headerless 16-bit signed little-endian.
Bytes MakeRawPcm(const PcmSignal& signal);

// What the working WAV must hold for a PCM source: interleaved 16-bit samples.
std::vector<int16_t> ExpectedWorkingSamples(const PcmSignal& signal, bool unsigned8Bit);

// 16-bit interleaved music-like audio (two tones and a little noise).
std::vector<int16_t> MusicSamples(int channels, int sampleRate, uint32_t frames);

// MPEG-1 layer III through the LAME library. `tagFrame` writes LAME's info frame.
Bytes EncodeMp3(const std::vector<int16_t>& samples, int channels, int sampleRate, int bitrateKbps,
                bool tagFrame = true);

// MPEG-1 layer I frames of valid structure at 48 kHz, 384 samples each: 192 kbps (bitrate
// index 6, 192 bytes a frame) unless another index and frame length are given. Index 0 is free
// format, where the frame length (a multiple of 4 bytes) is the encoder's choice.
Bytes MakeLayer1Stream(int channels, int frames, int bitrateIndex = 6,
                       std::size_t frameBytes = 192);

// An ID3v2.3 tag of `payloadBytes` zero bytes before `audio`.
Bytes WithId3v2(const Bytes& audio, uint32_t payloadBytes);
Bytes WithJunk(const Bytes& audio, std::size_t junkBytes);

// A folder removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

// The names in the folder: shows that no temporary file was left behind.
std::set<std::string> FolderEntries(const TempDir& dir);

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

// Runs a command through /bin/sh; its exit status, or -1 when it could not run.
int RunShell(const std::string& command);

// The fields of a 44-byte-header WAV as the engine writes it, and its samples.
struct WorkingWav {
    uint32_t riffLength = 0;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    uint32_t dataLength = 0;
    std::vector<int16_t> samples; // everything after the header
};
WorkingWav ParseWorkingWav(const Bytes& bytes);

} // namespace orvanta::test
