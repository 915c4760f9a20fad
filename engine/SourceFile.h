#pragma once

#include "FileHandle.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvanta {

// Reads an untrusted input file byte by byte with explicit byte order. Skips never go past the
// end of a regular file, so a length field pointing past the end fails here rather than later;
// on a pipe a forward skip reads and discards, and the end of the stream ends it.
class SourceFile {
public:
    // False with errno set when the file cannot be opened; EISDIR for a folder, which the C
    // library opens for reading but no read can use.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    // false when the close reported an error.
    bool CloseChecked();

    // true only when every byte was read.
    bool ReadExact(std::span<uint8_t> bytes);
    // Whole items of `itemSize` bytes read into `bytes`; a short read at the end is no error.
    std::size_t ReadItems(std::span<uint8_t> bytes, std::size_t itemSize);
    int ReadByte(); // EOF at the end
    bool ReadBE16(uint16_t& value);
    bool ReadBE32(uint32_t& value);
    bool ReadLE16(uint16_t& value);
    bool ReadLE32(uint32_t& value);

    // 0 done, -1 failed (past the end, or a read error on a pipe).
    int SkipForward(uint64_t byteCount);
    // Seeks to an absolute position; only on a regular file, never past its end.
    int SeekTo(uint64_t position);

    // Size and position exist only for regular files.
    std::optional<uint64_t> Size() const { return m_size; }
    // The bytes a read may reach: the size, or less where a test injected a read error.
    std::optional<uint64_t> ReadableSize() const {
        return m_size && m_failReadsAt ? std::min(*m_size, *m_failReadsAt) : m_size;
    }
    std::optional<uint64_t> Position() const;
    bool HasError() const;
    // For reads at given offsets (pread) beside the stream's own, which they leave where it is.
    int Descriptor() const { return ::fileno(m_file.get()); }

    // Test seam: every file opened after this call fails, as a disk error would, the first read
    // that reaches beyond `byteOffset`; nullopt turns it off. Tests use it to show that no read
    // error passes for the end of a stream.
    static void InjectReadErrorAt(std::optional<uint64_t> byteOffset);

private:
    std::size_t ReadRaw(uint8_t* data, std::size_t byteCount);
    int SkipByReading(uint64_t byteCount);
    template <std::size_t ByteCount, typename Value> bool ReadInteger(Value& value, bool bigEndian);

    FilePtr m_file;
    std::optional<uint64_t> m_size;
    uint64_t m_offset = 0; // where the next read starts
    std::optional<uint64_t> m_failReadsAt;
    bool m_injectedError = false;
};

} // namespace orvanta
