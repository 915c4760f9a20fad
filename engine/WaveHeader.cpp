#include "WaveHeader.h"

#include <array>
#include <cstring>

namespace orvanta {

namespace {

class HeaderBytes {
public:
    void Text(const char (&text)[5]) {
        std::memcpy(&m_bytes[m_used], text, 4);
        m_used += 4;
    }
    void U16(uint32_t value) {
        m_bytes[m_used++] = static_cast<uint8_t>(value & 0xFF);
        m_bytes[m_used++] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
    void U32(uint32_t value) {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    const std::array<uint8_t, kWaveHeaderBytes>& Bytes() const { return m_bytes; }

private:
    std::array<uint8_t, kWaveHeaderBytes> m_bytes{};
    std::size_t m_used = 0;
};

uint32_t LittleEndianAt(const std::array<uint8_t, kWaveHeaderBytes>& bytes, std::size_t at,
                        std::size_t count) {
    uint32_t value = 0;
    for (std::size_t i = count; i > 0; --i) {
        value = value << 8 | bytes[at + i - 1];
    }
    return value;
}

} // namespace

bool ReadWaveHeader(std::FILE* file, WaveHeaderFields& header) {
    if (std::fread(header.bytes.data(), 1, header.bytes.size(), file) != header.bytes.size()) {
        return false;
    }
    header.channels = static_cast<uint16_t>(LittleEndianAt(header.bytes, 22, 2));
    header.sampleRate = LittleEndianAt(header.bytes, 24, 4);
    header.bitsPerSample = static_cast<uint16_t>(LittleEndianAt(header.bytes, 34, 2));
    header.dataLength = LittleEndianAt(header.bytes, 40, 4);
    return true;
}

int WriteWaveHeader(std::FILE* file, uint32_t dataLength, int sampleRate, int channels, int bits) {
    const auto bytesPerSample = static_cast<uint32_t>((bits + 7) / 8);
    const auto blockAlign = static_cast<uint32_t>(channels) * bytesPerSample;
    HeaderBytes header;
    header.Text("RIFF");
    header.U32(dataLength + 36); // wraps as a 32-bit field does
    header.Text("WAVE");
    header.Text("fmt ");
    header.U32(16);
    header.U16(1); // PCM
    header.U16(static_cast<uint32_t>(channels));
    header.U32(static_cast<uint32_t>(sampleRate));
    header.U32(static_cast<uint32_t>(sampleRate) * blockAlign);
    header.U16(blockAlign);
    header.U16(static_cast<uint32_t>(bits));
    header.Text("data");
    header.U32(dataLength);
    std::fwrite(header.Bytes().data(), 1, header.Bytes().size(), file);
    return std::ferror(file) != 0 ? -1 : 0;
}

} // namespace orvanta
