#pragma once

#include <optional>
#include <string>
#include <string_view>

// Finds the version block (see "pxmisc/VersionBlock.h") in an ELF file. Every offset, size and
// count comes from a file that may be truncated or hostile, so each is checked against what the
// file holds before it is used; any doubt means "no block". Internal to the library.
class ElfVersionReader {
public:
    // The bytes of the file's version section; nullopt when the file cannot be read, is not an
    // ELF file, is damaged, or has no such section.
    static std::optional<std::string> ReadBlock(const char* path);

    // The value of `key` in a block's bytes; "" when the block is not one of ours, is cut short
    // before the key, or lacks the key.
    static std::string FindValue(std::string_view block, std::string_view key);
};
