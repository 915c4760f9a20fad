#include "FileHandle.h"

#include <sys/stat.h>

namespace orvanta {

bool CloseFile(FilePtr& file) {
    if (!file) {
        return true;
    }
    const bool hadError = std::ferror(file.get()) != 0;
    const bool closed = std::fclose(file.release()) == 0;
    return closed && !hadError;
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
