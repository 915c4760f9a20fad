#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace orvanta {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Owns a C stream. Where a close can fail in a way the caller must report (a buffered write
// that only reaches the disk at close), call CloseFile() and look at its result instead of
// letting the owner close silently.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Stream buffer for the engine's files: large enough that a decode is not bound by system
// calls, small enough that memory stays flat whatever the file's length.
inline constexpr std::size_t kStreamBufferBytes = 64 * 1024;

// Closes and releases; false when the stream had an error or the close failed.
bool CloseFile(FilePtr& file);

// Creates `path`, or empties the regular file of that name, for binary writing in one go; fails
// for anything else at that path (a device, a FIFO, a folder, a symbolic link), which is left
// alone. For small files whose partial state nobody reads (test fixtures); the engine's own
// outputs go through AtomicOutputFile.
FilePtr OpenOutputFile(const std::string& path);

// True when both paths name one existing file (the same device and inode), so writing the
// one would destroy the other.
bool IsSameFile(const std::string& first, const std::string& second);

} // namespace orvanta
