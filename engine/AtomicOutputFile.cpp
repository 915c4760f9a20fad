#include "AtomicOutputFile.h"

#include "EngineLog.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

namespace {

// Temporary names still on disk, kept in fixed storage so a signal handler can unlink them
// without allocating. The engine writes one output at a time; a few slots leave room.
struct PendingSlot {
    volatile std::sig_atomic_t used = 0;
    std::array<char, 4096> path{};
};
std::array<PendingSlot, 4> g_pending;

int RegisterPending(const std::string& path) {
    if (path.size() >= PendingSlot{}.path.size()) {
        return -1;
    }
    for (std::size_t i = 0; i < g_pending.size(); ++i) {
        if (g_pending[i].used == 0) {
            std::memcpy(g_pending[i].path.data(), path.c_str(), path.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            g_pending[i].used = 1;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ForgetPending(int slot) {
    if (slot >= 0) {
        g_pending[static_cast<std::size_t>(slot)].used = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string RandomSuffix() {
    static std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    uint64_t bits = generator();
    std::string suffix;
    for (int i = 0; i < 12; ++i, bits >>= 4) {
        suffix += kDigits[bits & 0xF];
    }
    return suffix;
}

// A new file that nobody else can have opened: O_EXCL never follows or reuses a name.
int CreateExclusive(const std::string& folder, std::string& path) {
    constexpr int kAttempts = 64;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        path = folder + ".orvanta-" + RandomSuffix() + ".part";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

} // namespace

AtomicOutputFile::~AtomicOutputFile() {
    Discard();
}

bool AtomicOutputFile::Create(const std::string& finalPath) {
    Discard();
    struct stat info {};
    const bool replaces = ::lstat(finalPath.c_str(), &info) == 0;
    if (replaces && !S_ISREG(info.st_mode)) {
        EngineLog::Error("Could not write \"%s\": it exists and is not a regular file.\n",
                         finalPath.c_str());
        return false;
    }
    std::string temporaryPath;
    const int fd = CreateExclusive(FolderOf(finalPath), temporaryPath);
    if (fd < 0) {
        EngineLog::Error("Could not create \"%s\": %s.\n", finalPath.c_str(), std::strerror(errno));
        return false;
    }
    m_pendingSlot = RegisterPending(temporaryPath);
    m_temporaryPath = temporaryPath;
    // The replacement keeps the replaced file's permissions (not its set-id bits): a private
    // file stays private. Set before the first byte is written.
    if (replaces && ::fchmod(fd, info.st_mode & 0777) != 0) {
        EngineLog::Error("Could not create \"%s\": %s.\n", finalPath.c_str(), std::strerror(errno));
        ::close(fd);
        Discard();
        return false;
    }
    m_file.reset(::fdopen(fd, "wb"));
    if (!m_file) {
        ::close(fd);
        Discard();
        EngineLog::Error("Could not create \"%s\".\n", finalPath.c_str());
        return false;
    }
    std::setvbuf(m_file.get(), nullptr, _IOFBF, kStreamBufferBytes);
    m_finalPath = finalPath;
    return true;
}

bool AtomicOutputFile::Commit() {
    if (!m_file) {
        return false;
    }
    if (!CloseFile(m_file)) {
        EngineLog::Error("Error writing output file\n");
        Discard();
        return false;
    }
    if (std::rename(m_temporaryPath.c_str(), m_finalPath.c_str()) != 0) {
        EngineLog::Error("Could not write \"%s\": %s.\n", m_finalPath.c_str(),
                         std::strerror(errno));
        Discard();
        return false;
    }
    ForgetPending(m_pendingSlot);
    m_pendingSlot = -1;
    m_temporaryPath.clear();
    return true;
}

void AtomicOutputFile::Discard() {
    m_file.reset();
    ForgetPending(m_pendingSlot);
    m_pendingSlot = -1;
    if (!m_temporaryPath.empty()) {
        ::unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}

void AtomicOutputFile::RemovePendingForSignal() {
    for (PendingSlot& slot : g_pending) {
        if (slot.used != 0) {
            ::unlink(slot.path.data());
        }
    }
}

} // namespace orvanta
