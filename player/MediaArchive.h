#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvanta {

// The byte form in which records are stored: 32-bit integers little-endian, strings as a
// 32-bit byte length followed by their UTF-8 bytes.
class ArchiveWriter {
public:
    void WriteInt32(int32_t value);
    void WriteString(const std::string& text);
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Reads what ArchiveWriter wrote. Every read checks what is left: a value that would run past
// the end fails and leaves the reader where it was.
class ArchiveReader {
public:
    explicit ArchiveReader(std::span<const uint8_t> bytes);
    bool ReadInt32(int32_t& value);
    bool ReadString(std::string& text);
    std::size_t Remaining() const { return m_bytes.size() - m_offset; }

private:
    std::span<const uint8_t> m_bytes;
    std::size_t m_offset = 0;
};

} // namespace orvanta
