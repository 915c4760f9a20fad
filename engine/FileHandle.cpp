#include "FileHandle.h"

#include <fcntl.h>
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
    // O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from blocking until it is refused.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FilePtr file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
    }
    return file;
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
