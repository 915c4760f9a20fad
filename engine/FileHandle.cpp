#include "FileHandle.h"

#include "EngineLog.h"

#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

bool CloseFile(FilePtr& file) {
    if (!file) {
        return true;
    }
    const bool hadError = std::ferror(file.get()) != 0;
    const bool closed = std::fclose(file.release()) == 0;
    return closed && !hadError;
}

FilePtr OpenOutputFile(const std::string& path) {
    // Only an old regular file (or a link) is deleted: a device or a pipe is written to as it is.
    struct stat info {};
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    if (exists && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) && ::unlink(path.c_str()) != 0) {
        return nullptr;
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (file) {
        std::setvbuf(file.get(), nullptr, _IOFBF, kStreamBufferBytes);
    }
    return file;
}

void RemoveOutputFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ::unlink(path.c_str());
    }
}

bool CloseOutputFile(FilePtr& output, const std::string& path) {
    if (CloseFile(output)) {
        return true;
    }
    EngineLog::Error("Error writing output file\n");
    RemoveOutputFile(path);
    return false;
}

bool IsSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    if (::stat(first.c_str(), &a) != 0 || ::stat(second.c_str(), &b) != 0) {
        return false;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace orvanta
