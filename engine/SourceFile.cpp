#include "SourceFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <sys/stat.h>

namespace orvanta {

namespace {

std::optional<uint64_t> g_injectedReadErrorAt;

} // namespace

void SourceFile::InjectReadErrorAt(std::optional<uint64_t> byteOffset) {
    g_injectedReadErrorAt = byteOffset;
}

bool SourceFile::Open(const std::string& path) {
    Close();
    m_file.reset(std::fopen(path.c_str(), "rb"));
    if (!m_file) {
        return false;
    }
    m_offset = 0;
    m_failReadsAt = g_injectedReadErrorAt;
    m_injectedError = false;
    std::setvbuf(m_file.get(), nullptr, _IOFBF, kStreamBufferBytes);
    struct stat info {};
    const bool known = ::fstat(::fileno(m_file.get()), &info) == 0;
    if (known && S_ISDIR(info.st_mode)) {
        Close();
        errno = EISDIR;
        return false;
    }
    if (known && S_ISREG(info.st_mode)) {
        m_size = static_cast<uint64_t>(info.st_size);
    }
    return true;
}

void SourceFile::Close() {
    m_file.reset();
    m_size.reset();
}

bool SourceFile::CloseChecked() {
    m_size.reset();
    return CloseFile(m_file);
}

std::size_t SourceFile::ReadRaw(uint8_t* data, std::size_t byteCount) {
    std::size_t allowed = byteCount;
    if (m_failReadsAt && m_offset + byteCount > *m_failReadsAt) {
        allowed = static_cast<std::size_t>(*m_failReadsAt - std::min(m_offset, *m_failReadsAt));
        m_injectedError = true;
    }
    const std::size_t got = std::fread(data, 1, allowed, m_file.get());
    m_offset += got;
    return got;
}

bool SourceFile::ReadExact(std::span<uint8_t> bytes) {
    return ReadRaw(bytes.data(), bytes.size()) == bytes.size();
}

std::size_t SourceFile::ReadItems(std::span<uint8_t> bytes, std::size_t itemSize) {
    return ReadRaw(bytes.data(), bytes.size() / itemSize * itemSize) / itemSize;
}

int SourceFile::ReadByte() {
    // The frame search reads a junk-filled file byte by byte; taking the stream's lock for
    // every byte made that search about four times slower.
    if (!m_failReadsAt) {
        const int byte = getc_unlocked(m_file.get());
        m_offset += byte != EOF ? 1 : 0;
        return byte;
    }
    uint8_t byte = 0;
    return ReadRaw(&byte, 1) == 1 ? byte : EOF;
}

template <std::size_t ByteCount, typename Value>
bool SourceFile::ReadInteger(Value& value, bool bigEndian) {
    std::array<uint8_t, ByteCount> b{};
    if (!ReadExact(b)) {
        return false;
    }
    uint32_t result = 0;
    for (std::size_t i = 0; i < ByteCount; ++i) {
        result = result << 8 | b[bigEndian ? i : ByteCount - 1 - i];
    }
    value = static_cast<Value>(result);
    return true;
}

bool SourceFile::ReadBE16(uint16_t& value) {
    return ReadInteger<2>(value, /*bigEndian=*/true);
}
bool SourceFile::ReadBE32(uint32_t& value) {
    return ReadInteger<4>(value, /*bigEndian=*/true);
}
bool SourceFile::ReadLE16(uint16_t& value) {
    return ReadInteger<2>(value, /*bigEndian=*/false);
}
bool SourceFile::ReadLE32(uint32_t& value) {
    return ReadInteger<4>(value, /*bigEndian=*/false);
}

int SourceFile::SkipForward(uint64_t byteCount) {
    if (!m_size) {
        return SkipByReading(byteCount);
    }
    const std::optional<uint64_t> position = Position();
    if (!position || byteCount > *m_size - std::min(*position, *m_size)) {
        return -1;
    }
    return SeekTo(*position + byteCount);
}

int SourceFile::SeekTo(uint64_t position) {
    if (!m_size || position > *m_size) {
        return -1;
    }
    if (::fseeko(m_file.get(), static_cast<off_t>(position), SEEK_SET) != 0) {
        return -1;
    }
    m_offset = position;
    return 0;
}

int SourceFile::SkipByReading(uint64_t byteCount) {
    std::array<uint8_t, 4096> discard{};
    while (byteCount > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<uint64_t>(byteCount, 4096));
        const std::size_t got = ReadRaw(discard.data(), piece);
        if (got == 0) {
            return -1;
        }
        byteCount -= got;
    }
    return 0;
}

std::optional<uint64_t> SourceFile::Position() const {
    if (!m_size) {
        return std::nullopt;
    }
    const off_t position = ::ftello(m_file.get());
    if (position < 0) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(position);
}

bool SourceFile::HasError() const {
    return m_injectedError || std::ferror(m_file.get()) != 0;
}

} // namespace orvanta
