#include "MediaArchive.h"

namespace orvanta {

void ArchiveWriter::WriteInt32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        m_bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
}

void ArchiveWriter::WriteString(const std::string& text) {
    WriteInt32(static_cast<int32_t>(text.size()));
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
}

ArchiveReader::ArchiveReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

bool ArchiveReader::ReadInt32(int32_t& value) {
    if (Remaining() < 4) {
        return false;
    }
    uint32_t bits = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        bits |= uint32_t{m_bytes[m_offset++]} << shift;
    }
    value = static_cast<int32_t>(bits);
    return true;
}

bool ArchiveReader::ReadString(std::string& text) {
    const std::size_t start = m_offset;
    int32_t byteCount = 0;
    if (!ReadInt32(byteCount)) {
        return false;
    }
    // The stated length is untrusted: it must fit in what the data still holds.
    const auto length = static_cast<uint32_t>(byteCount);
    if (length > Remaining()) {
        m_offset = start;
        return false;
    }
    const auto first = m_bytes.subspan(m_offset, length);
    text.assign(first.begin(), first.end());
    m_offset += length;
    return true;
}

} // namespace orvanta
