#include "TestSources.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <lame/lame.h>
#include <memory>
#include <stdexcept>
#include <sys/wait.h>

namespace orvanta::test {

namespace {

void PutText(Bytes& out, const char* text) {
    out.insert(out.end(), text, text + 4);
}

void PutLE(Bytes& out, uint64_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutBE(Bytes& out, uint64_t value, int byteCount) {
    for (int i = byteCount - 1; i >= 0; --i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// One sample as stored on disk: `bits` wide, in the given byte order; 8-bit WAV data is
// offset by 128.
void PutSample(Bytes& out, int32_t sample, int bits, bool bigEndian, bool unsigned8Bit) {
    const auto bytes = (bits + 7) / 8;
    auto value = static_cast<uint32_t>(sample);
    if (bits == 8 && unsigned8Bit) {
        value = static_cast<uint32_t>(sample + 128);
    }
    if (bigEndian) {
        PutBE(out, value, bytes);
    } else {
        PutLE(out, value, bytes);
    }
}

Bytes SampleBytes(const PcmSignal& signal, bool bigEndian, bool unsigned8Bit) {
    Bytes out;
    for (const int32_t sample : SignalSamples(signal)) {
        PutSample(out, sample, signal.bits, bigEndian, unsigned8Bit);
    }
    return out;
}

void PutListChunk(Bytes& out, bool odd) {
    // A LIST/INFO chunk with one software-name entry; an odd entry makes the chunk odd-sized.
    const std::string name = odd ? "Tests" : "Test";
    Bytes info;
    PutText(info, "INFO");
    PutText(info, "ISFT");
    PutLE(info, name.size(), 4);
    info.insert(info.end(), name.begin(), name.end());
    PutText(out, "LIST");
    // The stored length excludes the pad byte that keeps the next chunk on an even offset.
    PutLE(out, info.size(), 4);
    out.insert(out.end(), info.begin(), info.end());
    if (info.size() % 2 != 0) {
        out.push_back(0);
    }
}

void PutWavFmt(Bytes& out, const PcmSignal& signal, const WavOptions& options) {
    const auto blockAlign = static_cast<uint32_t>(signal.channels * ((signal.bits + 7) / 8));
    PutText(out, "fmt ");
    PutLE(out, options.extensible ? 40 : 16, 4);
    PutLE(out, options.extensible ? 0xFFFE : options.formatTag, 2);
    PutLE(out, static_cast<uint32_t>(signal.channels), 2);
    PutLE(out, static_cast<uint32_t>(signal.sampleRate), 4);
    PutLE(out, static_cast<uint32_t>(signal.sampleRate) * blockAlign, 4);
    PutLE(out, blockAlign, 2);
    PutLE(out, static_cast<uint32_t>(signal.bits), 2);
    if (options.extensible) {
        PutLE(out, 22, 2);                                 // extension size
        PutLE(out, static_cast<uint32_t>(signal.bits), 2); // valid bits
        PutLE(out, signal.channels == 2 ? 3 : 4, 4);       // channel mask
        PutLE(out, options.formatTag, 2);                  // sub-format GUID ...
        const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.insert(out.end(), std::begin(guidTail), std::end(guidTail));
    }
}

class BitWriter {
public:
    void Put(uint32_t value, int bitCount) {
        for (int i = bitCount - 1; i >= 0; --i) {
            if (m_bitPos == 0) {
                m_bytes.push_back(0);
            }
            if ((value >> i) & 1) {
                m_bytes.back() = static_cast<uint8_t>(m_bytes.back() | (0x80 >> m_bitPos));
            }
            m_bitPos = (m_bitPos + 1) % 8;
        }
    }
    Bytes Take(std::size_t size) {
        m_bytes.resize(size, 0);
        return std::move(m_bytes);
    }

private:
    Bytes m_bytes;
    int m_bitPos = 0;
};

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

} // namespace

std::vector<int32_t> SignalSamples(const PcmSignal& signal) {
    const int64_t top = (int64_t{1} << (signal.bits - 1)) - 1;
    const int64_t bottom = -(int64_t{1} << (signal.bits - 1));
    std::vector<int32_t> samples;
    uint32_t noise = 12345;
    for (uint32_t frame = 0; frame < signal.frames; ++frame) {
        for (int channel = 0; channel < signal.channels; ++channel) {
            noise = noise * 1664525u + 1013904223u;
            int64_t value = 0;
            switch (frame % 4) {
            case 0:
                value = top;
                break; // the range's ends catch sign and width mistakes
            case 1:
                value = bottom;
                break;
            case 2:
                value = channel == 0 ? 1 : -1;
                break; // left and right must not swap
            default:
                value = static_cast<int64_t>(noise >> (32 - signal.bits)) + bottom;
                break;
            }
            samples.push_back(static_cast<int32_t>(value));
        }
    }
    return samples;
}

Bytes MakeWav(const PcmSignal& signal, const WavOptions& options) {
    const Bytes samples = SampleBytes(signal, /*bigEndian=*/false, /*unsigned8Bit=*/true);
    Bytes body;
    PutText(body, "WAVE");
    for (int i = 0; i < options.listChunksBeforeFmt; ++i) {
        PutListChunk(body, options.oddListChunks);
    }
    if (!options.dataBeforeFmt) {
        PutWavFmt(body, signal, options);
    }
    for (int i = 0; i < options.listChunksBeforeData; ++i) {
        PutListChunk(body, options.oddListChunks);
    }
    PutText(body, "data");
    PutLE(body, samples.size(), 4);
    body.insert(body.end(), samples.begin(), samples.end());
    Bytes out;
    PutText(out, "RIFF");
    PutLE(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes MakeWav16(const std::vector<int16_t>& samples, int channels, int sampleRate) {
    Bytes body;
    PutText(body, "WAVE");
    PutWavFmt(body, PcmSignal{channels, sampleRate, 16, 0}, WavOptions{});
    PutText(body, "data");
    PutLE(body, samples.size() * 2, 4);
    for (const int16_t sample : samples) {
        PutLE(body, static_cast<uint16_t>(sample), 2);
    }
    Bytes out;
    PutText(out, "RIFF");
    PutLE(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

namespace {

// The sample rate as an 80-bit IEEE extended float, big-endian.
void PutExtended(Bytes& out, double value) {
    int exponent = 0;
    const double mantissa = std::frexp(value, &exponent); // value = mantissa * 2^exponent
    const auto bits = static_cast<uint64_t>(std::ldexp(mantissa, 64));
    PutBE(out, static_cast<uint64_t>(16382 + exponent), 2);
    PutBE(out, bits, 8);
}

} // namespace

Bytes MakeAiff(const PcmSignal& signal, const AiffOptions& options) {
    const bool littleEndian = options.aifc && options.compression == "sowt";
    const Bytes samples = SampleBytes(signal, !littleEndian, /*unsigned8Bit=*/false);
    Bytes comm;
    PutText(comm, "COMM");
    PutBE(comm, options.aifc ? 24 : 18, 4);
    PutBE(comm, static_cast<uint32_t>(signal.channels), 2);
    PutBE(comm, signal.frames, 4);
    PutBE(comm, static_cast<uint32_t>(signal.bits), 2);
    PutExtended(comm, signal.sampleRate);
    if (options.aifc) {
        PutText(comm, options.compression.c_str());
        comm.push_back(0); // empty Pascal-string name, padded to even
        comm.push_back(0);
    }
    Bytes ssnd;
    PutText(ssnd, "SSND");
    PutBE(ssnd, samples.size() + 8 + options.ssndOffset, 4);
    PutBE(ssnd, options.ssndOffset, 4);
    PutBE(ssnd, options.blockSize, 4);
    ssnd.insert(ssnd.end(), options.ssndOffset, 0);
    ssnd.insert(ssnd.end(), samples.begin(), samples.end());
    if (ssnd.size() % 2 != 0) {
        ssnd.push_back(0);
    }
    Bytes body;
    PutText(body, options.aifc ? "AIFC" : "AIFF");
    const Bytes& first = options.ssndBeforeComm ? ssnd : comm;
    const Bytes& second = options.ssndBeforeComm ? comm : ssnd;
    body.insert(body.end(), first.begin(), first.end());
    body.insert(body.end(), second.begin(), second.end());
    Bytes out;
    PutText(out, "FORM");
    PutBE(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes MakeRawPcm(const PcmSignal& signal) {
    PcmSignal sixteen = signal;
    sixteen.bits = 16;
    return SampleBytes(sixteen, /*bigEndian=*/false, /*unsigned8Bit=*/false);
}

std::vector<int16_t> ExpectedWorkingSamples(const PcmSignal& signal, bool unsigned8Bit) {
    std::vector<int16_t> expected;
    for (const int32_t sample : SignalSamples(signal)) {
        // The working WAV keeps the top 16 bits of each sample. 8-bit WAV data comes out with
        // 0x7F below the sample, as LAME's own reader has always done.
        const auto top =
            static_cast<int32_t>(static_cast<uint32_t>(sample) << (32 - signal.bits)) >> 16;
        expected.push_back(
            static_cast<int16_t>(signal.bits == 8 && unsigned8Bit ? top | 0x7F : top));
    }
    return expected;
}

std::vector<int16_t> MusicSamples(int channels, int sampleRate, uint32_t frames) {
    std::vector<int16_t> samples;
    uint32_t noise = 99;
    constexpr double kTwoPi = 6.283185307179586;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        for (int channel = 0; channel < channels; ++channel) {
            noise = noise * 1664525u + 1013904223u;
            const double value = 9000 * std::sin(kTwoPi * (440 + 110 * channel) * t) +
                                 6000 * std::sin(kTwoPi * 1234.5 * t) +
                                 static_cast<double>(static_cast<int32_t>(noise) >> 20);
            samples.push_back(static_cast<int16_t>(value));
        }
    }
    return samples;
}

Bytes EncodeMp3(const std::vector<int16_t>& samples, int channels, int sampleRate, int bitrateKbps,
                bool tagFrame) {
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    lame_set_num_channels(lame.get(), channels);
    lame_set_in_samplerate(lame.get(), sampleRate);
    lame_set_brate(lame.get(), bitrateKbps);
    lame_set_mode(lame.get(), channels == 1 ? MONO : JOINT_STEREO);
    lame_set_bWriteVbrTag(lame.get(), tagFrame ? 1 : 0);
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) {
        throw std::runtime_error("LAME refused the test encoder settings");
    }
    const auto frames = static_cast<int>(samples.size() / static_cast<std::size_t>(channels));
    Bytes out(static_cast<std::size_t>(frames) * 5 / 4 + 7200 + 16384);
    std::vector<int16_t> left(static_cast<std::size_t>(frames));
    std::vector<int16_t> right(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        left[static_cast<std::size_t>(i)] = samples[static_cast<std::size_t>(i * channels)];
        right[static_cast<std::size_t>(i)] =
            samples[static_cast<std::size_t>(i * channels + channels - 1)];
    }
    int used = lame_encode_buffer(lame.get(), left.data(), right.data(), frames, out.data(),
                                  static_cast<int>(out.size()));
    if (used < 0) {
        throw std::runtime_error("LAME failed to encode the test signal");
    }
    used += lame_encode_flush(lame.get(), out.data() + used, static_cast<int>(out.size()) - used);
    out.resize(static_cast<std::size_t>(used));
    if (tagFrame) {
        Bytes tag(4096);
        const std::size_t tagSize = lame_get_lametag_frame(lame.get(), tag.data(), tag.size());
        std::copy(tag.begin(), tag.begin() + static_cast<std::ptrdiff_t>(tagSize), out.begin());
    }
    return out;
}

Bytes MakeLayer1Stream(int channels, int frames, int bitrateIndex, std::size_t frameBytes) {
    constexpr int kCodedSubbands = 4;
    constexpr uint32_t kAllocation = 7; // 8 bits per sample
    Bytes out;
    for (int frame = 0; frame < frames; ++frame) {
        BitWriter bits;
        bits.Put(0xFFF, 12);
        bits.Put(1, 1); // MPEG-1
        bits.Put(3, 2); // layer I
        bits.Put(1, 1); // no CRC
        bits.Put(static_cast<uint32_t>(bitrateIndex), 4);
        bits.Put(1, 2);                     // 48 kHz
        bits.Put(0, 2);                     // no padding, private bit clear
        bits.Put(channels == 1 ? 3 : 0, 2); // single channel or stereo
        bits.Put(0, 6);                     // mode extension, copyright, original, emphasis
        for (int subband = 0; subband < 32; ++subband) {
            for (int channel = 0; channel < channels; ++channel) {
                bits.Put(subband < kCodedSubbands ? kAllocation : 0, 4);
            }
        }
        for (int subband = 0; subband < kCodedSubbands; ++subband) {
            for (int channel = 0; channel < channels; ++channel) {
                bits.Put(static_cast<uint32_t>(8 + subband + channel), 6); // scale factor
            }
        }
        for (int slot = 0; slot < 12; ++slot) {
            for (int subband = 0; subband < kCodedSubbands; ++subband) {
                for (int channel = 0; channel < channels; ++channel) {
                    const double phase = 0.5 * (frame * 12 + slot) + subband + channel;
                    // All ones is not a valid sample code; stay within 0..254.
                    bits.Put(static_cast<uint32_t>(127 + 120 * std::sin(phase)), 8);
                }
            }
        }
        const Bytes coded = bits.Take(frameBytes);
        out.insert(out.end(), coded.begin(), coded.end());
    }
    return out;
}

Bytes WithId3v2(const Bytes& audio, uint32_t payloadBytes) {
    Bytes out{'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) {
        out.push_back(static_cast<uint8_t>((payloadBytes >> shift) & 0x7F));
    }
    out.insert(out.end(), payloadBytes, 0);
    out.insert(out.end(), audio.begin(), audio.end());
    return out;
}

Bytes WithJunk(const Bytes& audio, std::size_t junkBytes) {
    static const std::string kJunk = "not audio at all; ";
    Bytes out;
    for (std::size_t i = 0; i < junkBytes; ++i) {
        out.push_back(static_cast<uint8_t>(kJunk[i % kJunk.size()]));
    }
    out.insert(out.end(), audio.begin(), audio.end());
    return out;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/orvanta-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Path(const std::string& name) const {
    return (m_path / name).string();
}

std::set<std::string> FolderEntries(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

WorkingWav ParseWorkingWav(const Bytes& bytes) {
    WorkingWav wav;
    if (bytes.size() < 44) {
        throw std::runtime_error("working WAV shorter than its header");
    }
    const auto le = [&](std::size_t at, int count) {
        uint32_t value = 0;
        for (int i = count - 1; i >= 0; --i) {
            value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
        }
        return value;
    };
    if (std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
        std::string(bytes.begin() + 8, bytes.begin() + 16) != "WAVEfmt " ||
        std::string(bytes.begin() + 36, bytes.begin() + 40) != "data" || le(16, 4) != 16) {
        throw std::runtime_error("not a canonical 44-byte-header WAV");
    }
    wav.riffLength = le(4, 4);
    wav.formatTag = static_cast<uint16_t>(le(20, 2));
    wav.channels = static_cast<uint16_t>(le(22, 2));
    wav.sampleRate = le(24, 4);
    wav.byteRate = le(28, 4);
    wav.blockAlign = static_cast<uint16_t>(le(32, 2));
    wav.bits = static_cast<uint16_t>(le(34, 2));
    wav.dataLength = le(40, 4);
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2) {
        wav.samples.push_back(static_cast<int16_t>(le(at, 2)));
    }
    return wav;
}

} // namespace orvanta::test
