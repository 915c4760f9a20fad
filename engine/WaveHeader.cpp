#include "WaveHeader.h"

#include "EngineLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

namespace {

// The RIFF length field counts everything after its own 8 bytes in 32 bits.
constexpr uint64_t kLargestWaveFileBytes = uint64_t{0xFFFFFFFF} + 8;

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

bool HasTextAt(const std::array<uint8_t, kWaveHeaderBytes>& bytes, std::size_t at,
               const char (&text)[5]) {
    return std::memcmp(&bytes[at], text, 4) == 0;
}

bool IsCanonicalPcm(const WaveHeaderFields& header) {
    const auto& bytes = header.bytes;
    return HasTextAt(bytes, 0, "RIFF") && HasTextAt(bytes, 8, "WAVE") &&
           HasTextAt(bytes, 12, "fmt ") && LittleEndianAt(bytes, 16, 4) == 16 &&
           LittleEndianAt(bytes, 20, 2) == 1 && (header.channels == 1 || header.channels == 2) &&
           header.sampleRate > 0 && (header.bitsPerSample == 8 || header.bitsPerSample == 16) &&
           HasTextAt(bytes, 36, "data");
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
    return IsCanonicalPcm(header);
}

bool OpenWorkingWav(const std::string& path, FilePtr& file, WaveHeaderFields& header,
                    uint64_t& fileLength) {
    // Non-blocking, so that opening a FIFO does not wait for a writer before it is refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        EngineLog::Error("Could not find \"%s\".\n", path.c_str());
        return false;
    }
    file.reset(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        EngineLog::Error("Could not find \"%s\".\n", path.c_str());
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        EngineLog::Error("\"%s\" is not a regular file.\n", path.c_str());
        return false;
    }
    fileLength = static_cast<uint64_t>(info.st_size);
    if (fileLength > kLargestWaveFileBytes) {
        EngineLog::Error("\"%s\" is larger than a WAV header can describe (4 GiB).\n",
                         path.c_str());
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::setvbuf(file.get(), nullptr, _IOFBF, kStreamBufferBytes);
    if (!ReadWaveHeader(file.get(), header)) {
        EngineLog::Error("\"%s\" is not a working WAV (PCM, 8 or 16 bits, mono or stereo, a "
                         "44-byte header): decode it first (orvanta-cli decode).\n",
                         path.c_str());
        return false;
    }
    return true;
}

uint64_t AudioBytes(const WaveHeaderFields& header, uint64_t fileLength) {
    const uint64_t blockSize = header.BlockSize();
    if (fileLength <= kWaveHeaderBytes || blockSize == 0) {
        return 0;
    }
    const uint64_t bytes = std::min<uint64_t>(header.dataLength, fileLength - kWaveHeaderBytes);
    return bytes / blockSize * blockSize;
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
