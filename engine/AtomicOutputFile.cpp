#include "AtomicOutputFile.h"

#include "EngineLog.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

namespace {

// Temporary names still on disk, kept in fixed storage so a signal handler can unlink them
// without allocating. Conversions on several threads write an output each; a few slots leave
// room. A slot is claimed before its path is filled in and counts as used only once it is.
enum SlotUse : int { kFree = 0, kUsed = 1, kFilling = 2 };
struct PendingSlot {
    std::atomic<int> use{kFree};
    std::array<char, 4096> path{};
};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");
std::array<PendingSlot, 8> g_pending;

int RegisterPending(const std::string& path) {
    if (path.size() >= PendingSlot{}.path.size()) {
        return -1;
    }
    for (std::size_t i = 0; i < g_pending.size(); ++i) {
        int expected = kFree;
        if (g_pending[i].use.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_pending[i].path.data(), path.c_str(), path.size() + 1);
            g_pending[i].use.store(kUsed);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ForgetPending(int slot) {
    if (slot >= 0) {
        g_pending[static_cast<std::size_t>(slot)].use.store(kFree);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string RandomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
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
        if (slot.use.load() == kUsed) {
            ::unlink(slot.path.data());
        }
    }
}

} // namespace orvanta
