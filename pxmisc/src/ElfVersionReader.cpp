#include "ElfVersionReader.h"

#include "pxmisc/VersionBlock.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <elf.h>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Bigger tables or blocks than these are not what any build of ours writes; refusing them keeps
// a hostile size from sizing a huge buffer.
constexpr std::uint64_t kMaxTableBytes = 16u << 20;
constexpr std::uint64_t kMaxBlockBytes = 64u << 10;

// Owns a file descriptor from the moment open() returns it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// A regular file read at absolute offsets; a read reaching past the end fails as a whole.
class BoundedFile {
public:
    explicit BoundedFile(const char* path)
        // Non-blocking, so a path naming a FIFO cannot hang the caller in open().
        : m_file(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {
        struct stat status {};
        if (m_file.Get() >= 0 && ::fstat(m_file.Get(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_size >= 0) {
            m_byteCount = static_cast<std::uint64_t>(status.st_size);
            m_usable = true;
        }
    }

    bool Usable() const { return m_usable; }
    std::uint64_t ByteCount() const { return m_byteCount; }

    bool Holds(std::uint64_t offset, std::uint64_t byteCount) const {
        return offset <= m_byteCount && byteCount <= m_byteCount - offset;
    }

    bool ReadAt(std::uint64_t offset, std::span<unsigned char> out) const {
        if (!m_usable || !Holds(offset, out.size())) {
            return false;
        }
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::pread(m_file.Get(), out.data() + done, out.size() - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                // The file shrank under us, or the read failed: either way, no data.
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

    std::optional<std::vector<unsigned char>> ReadRange(std::uint64_t offset,
                                                        std::uint64_t byteCount) const {
        if (!Holds(offset, byteCount)) {
            return std::nullopt;
        }
        std::vector<unsigned char> bytes(static_cast<std::size_t>(byteCount));
        if (!ReadAt(offset, bytes)) {
            return std::nullopt;
        }
        return bytes;
    }

private:
    FileDescriptor m_file;
    std::uint64_t m_byteCount = 0;
    bool m_usable = false;
};

// Decodes the integer fields of ELF structures of either class and byte order. Field offsets
// come from <elf.h>, so they always name the structure they belong to.
class ElfFormat {
public:
    ElfFormat(bool is64, bool bigEndian) : m_is64(is64), m_bigEndian(bigEndian) {}

    bool Is64() const { return m_is64; }
    std::size_t HeaderBytes() const { return m_is64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr); }
    std::size_t SectionHeaderBytes() const {
        return m_is64 ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
    }

    // Callers pass offsets inside a buffer they sized from HeaderBytes() or
    // SectionHeaderBytes(), so the read stays in bounds by construction.
    std::uint64_t Read(std::span<const unsigned char> bytes, std::size_t offset,
                       std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t index = m_bigEndian ? offset + i : offset + width - 1 - i;
            value = (value << 8) | bytes[index];
        }
        return value;
    }

private:
    bool m_is64;
    bool m_bigEndian;
};

struct FileHeader {
    std::uint64_t sectionTableOffset = 0;
    std::uint64_t sectionEntryBytes = 0;
    std::uint64_t sectionCount = 0;
    std::uint64_t namesSectionIndex = 0;
};

struct Section {
    std::uint64_t nameOffset = 0;
    std::uint64_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t byteCount = 0;
    std::uint64_t link = 0;
};

#define PXMISC_FIELD_(type, field) offsetof(type, field), sizeof(type::field)

// The same fields in either class: only the layout of the record differs.
template <class Ehdr>
FileHeader DecodeFileHeaderAs(const ElfFormat& format, std::span<const unsigned char> bytes) {
    FileHeader header;
    header.sectionTableOffset = format.Read(bytes, PXMISC_FIELD_(Ehdr, e_shoff));
    header.sectionEntryBytes = format.Read(bytes, PXMISC_FIELD_(Ehdr, e_shentsize));
    header.sectionCount = format.Read(bytes, PXMISC_FIELD_(Ehdr, e_shnum));
    header.namesSectionIndex = format.Read(bytes, PXMISC_FIELD_(Ehdr, e_shstrndx));
    return header;
}

template <class Shdr>
Section DecodeSectionAs(const ElfFormat& format, std::span<const unsigned char> bytes) {
    Section section;
    section.nameOffset = format.Read(bytes, PXMISC_FIELD_(Shdr, sh_name));
    section.type = format.Read(bytes, PXMISC_FIELD_(Shdr, sh_type));
    section.offset = format.Read(bytes, PXMISC_FIELD_(Shdr, sh_offset));
    section.byteCount = format.Read(bytes, PXMISC_FIELD_(Shdr, sh_size));
    section.link = format.Read(bytes, PXMISC_FIELD_(Shdr, sh_link));
    return section;
}

FileHeader DecodeFileHeader(const ElfFormat& format, std::span<const unsigned char> bytes) {
    return format.Is64() ? DecodeFileHeaderAs<Elf64_Ehdr>(format, bytes)
                         : DecodeFileHeaderAs<Elf32_Ehdr>(format, bytes);
}

Section DecodeSection(const ElfFormat& format, std::span<const unsigned char> bytes) {
    return format.Is64() ? DecodeSectionAs<Elf64_Shdr>(format, bytes)
                         : DecodeSectionAs<Elf32_Shdr>(format, bytes);
}

#undef PXMISC_FIELD_

std::optional<ElfFormat> ReadIdentification(const BoundedFile& file) {
    std::array<unsigned char, EI_NIDENT> ident{};
    if (!file.ReadAt(0, ident) || ident[EI_MAG0] != ELFMAG0 || ident[EI_MAG1] != ELFMAG1 ||
        ident[EI_MAG2] != ELFMAG2 || ident[EI_MAG3] != ELFMAG3 || ident[EI_VERSION] != EV_CURRENT) {
        return std::nullopt;
    }
    const bool is64 = ident[EI_CLASS] == ELFCLASS64;
    const bool bigEndian = ident[EI_DATA] == ELFDATA2MSB;
    if ((!is64 && ident[EI_CLASS] != ELFCLASS32) || (!bigEndian && ident[EI_DATA] != ELFDATA2LSB)) {
        return std::nullopt;
    }
    return ElfFormat(is64, bigEndian);
}

// The section header table, read whole, with its entry count; extended numbering (a count or a
// names index too big for the file header) is taken from section 0 as the ELF format says.
struct SectionTable {
    std::vector<unsigned char> bytes;
    std::uint64_t entryBytes = 0;
    std::uint64_t count = 0;
    std::uint64_t namesIndex = 0;

    Section At(const ElfFormat& format, std::uint64_t index) const {
        const auto entry = std::span<const unsigned char>(bytes).subspan(
            static_cast<std::size_t>(index * entryBytes), format.SectionHeaderBytes());
        return DecodeSection(format, entry);
    }
};

std::optional<SectionTable> ReadSectionTable(const BoundedFile& file, const ElfFormat& format) {
    std::vector<unsigned char> headerBytes(format.HeaderBytes());
    if (!file.ReadAt(0, headerBytes)) {
        return std::nullopt;
    }
    const FileHeader header = DecodeFileHeader(format, headerBytes);
    if (header.sectionTableOffset == 0 || header.sectionEntryBytes < format.SectionHeaderBytes()) {
        return std::nullopt;
    }

    SectionTable table;
    table.entryBytes = header.sectionEntryBytes;
    table.count = header.sectionCount;
    table.namesIndex = header.namesSectionIndex;
    if (table.count == 0 || table.namesIndex == SHN_XINDEX) {
        std::vector<unsigned char> first(format.SectionHeaderBytes());
        if (!file.ReadAt(header.sectionTableOffset, first)) {
            return std::nullopt;
        }
        const Section zero = DecodeSection(format, first);
        if (table.count == 0) {
            table.count = zero.byteCount;
        }
        if (table.namesIndex == SHN_XINDEX) {
            table.namesIndex = zero.link;
        }
    }
    // Division instead of count * entryBytes: a hostile count must not wrap the product.
    if (table.count == 0 || table.count > kMaxTableBytes / table.entryBytes ||
        table.namesIndex >= table.count) {
        return std::nullopt;
    }
    auto bytes = file.ReadRange(header.sectionTableOffset, table.count * table.entryBytes);
    if (!bytes) {
        return std::nullopt;
    }
    table.bytes = std::move(*bytes);
    return table;
}

// The bytes a section occupies in the file; SHT_NOBITS sections occupy none.
std::optional<std::vector<unsigned char>>
ReadSectionBytes(const BoundedFile& file, const Section& section, std::uint64_t maxBytes) {
    if (section.type == SHT_NOBITS || section.byteCount > maxBytes) {
        return std::nullopt;
    }
    return file.ReadRange(section.offset, section.byteCount);
}

bool NameIs(std::span<const unsigned char> names, std::uint64_t nameOffset,
            std::string_view wanted) {
    // The name must end with its NUL inside the names section.
    if (nameOffset >= names.size() || wanted.size() >= names.size() - nameOffset) {
        return false;
    }
    const auto name = names.subspan(static_cast<std::size_t>(nameOffset), wanted.size() + 1);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (name[i] != static_cast<unsigned char>(wanted[i])) {
            return false;
        }
    }
    return name[wanted.size()] == 0;
}

} // namespace

std::optional<std::string> ElfVersionReader::ReadBlock(const char* path) {
    if (path == nullptr) {
        return std::nullopt;
    }
    const BoundedFile file(path);
    if (!file.Usable()) {
        return std::nullopt;
    }
    const std::optional<ElfFormat> format = ReadIdentification(file);
    if (!format) {
        return std::nullopt;
    }
    const std::optional<SectionTable> table = ReadSectionTable(file, *format);
    if (!table) {
        return std::nullopt;
    }
    const auto names =
        ReadSectionBytes(file, table->At(*format, table->namesIndex), kMaxTableBytes);
    if (!names) {
        return std::nullopt;
    }
    for (std::uint64_t index = 0; index < table->count; ++index) {
        const Section section = table->At(*format, index);
        if (NameIs(*names, section.nameOffset, PXMISC_VERSION_SECTION)) {
            // The first section of that name decides; a damaged one is not skipped over in the
            // hope of a better one further on.
            const auto block = ReadSectionBytes(file, section, kMaxBlockBytes);
            if (!block) {
                return std::nullopt;
            }
            return std::string(block->begin(), block->end());
        }
    }
    return std::nullopt;
}

std::string ElfVersionReader::FindValue(std::string_view block, std::string_view key) {
    // The magic is compared with its NUL, so a longer magic of some later layout never matches.
    constexpr std::string_view magic(PXMISC_VERSION_MAGIC, sizeof(PXMISC_VERSION_MAGIC));
    if (key.empty() || !block.starts_with(magic)) {
        return {};
    }
    std::size_t position = magic.size();
    while (position < block.size()) {
        const std::size_t keyEnd = block.find('\0', position);
        if (keyEnd == std::string_view::npos || keyEnd == position) {
            // Cut short, or the empty key that ends the list.
            return {};
        }
        const std::size_t valueEnd = block.find('\0', keyEnd + 1);
        if (valueEnd == std::string_view::npos) {
            return {};
        }
        if (block.substr(position, keyEnd - position) == key) {
            return std::string(block.substr(keyEnd + 1, valueEnd - keyEnd - 1));
        }
        position = valueEnd + 1;
    }
    return {};
}
