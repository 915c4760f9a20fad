#pragma once

// For the fuzzers whose readers take a path: one private folder per fuzzing process, under
// TMPDIR (tools/fuzz.sh points that at memory), removed when the process ends.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace orvanta::fuzz {

inline std::string& WorkspaceFolderName() {
    static std::string folder;
    return folder;
}

inline void RemoveWorkspaceFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(WorkspaceFolderName(), ignored);
}

// The folder, made on the first call; the process stops when it cannot be made.
inline const std::string& WorkspaceFolder() {
    std::string& folder = WorkspaceFolderName();
    if (folder.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvanta-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("orvanta fuzz: mkdtemp");
            std::exit(1);
        }
        folder = pattern;
        std::atexit(&RemoveWorkspaceFolder);
    }
    return folder;
}

// Writes `size` bytes to `path`; a failure stops the process, since no input could be judged.
inline void WriteWholeFile(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file != nullptr && (size == 0 || std::fwrite(data, 1, size, file) == size);
    if (file == nullptr || std::fclose(file) != 0 || !written) {
        std::perror("orvanta fuzz: writing the input");
        std::abort();
    }
}

} // namespace orvanta::fuzz
