#include "StopSignals.h"

#include "AtomicOutputFile.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace orvanta::cli {

namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kMaxPathBytes = 4096;

volatile std::sig_atomic_t g_received = 0;

// Fixed storage, so the handler reads it without allocating. `g_haveAbortFolder` is published
// last.
std::array<char, kMaxPathBytes> g_abortFolder{};
volatile std::sig_atomic_t g_haveAbortFolder = 0;

// Unlinks every entry of the folder, whatever put it there, with calls a signal handler may
// make. Entries unlinked while the folder is read can hide others from that reading, so it reads
// again until a pass finds nothing left.
void EmptyFolder(int folder) {
    alignas(dirent64) std::array<char, 4096> entries;
    bool removedAny = true;
    while (removedAny) {
        removedAny = false;
        ::lseek(folder, 0, SEEK_SET);
        ssize_t got = 0;
        while ((got = ::getdents64(folder, entries.data(), entries.size())) > 0) {
            for (ssize_t at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const dirent64*>(entries.data() + at);
                const bool dots =
                    std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0;
                removedAny = (!dots && ::unlinkat(folder, entry->d_name, 0) == 0) || removedAny;
                at += entry->d_reclen;
            }
        }
    }
}

void RemoveAbortFolder() {
    if (g_haveAbortFolder == 0) {
        return;
    }
    const int folder = ::open(g_abortFolder.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (folder >= 0) {
        EmptyFolder(folder);
        ::close(folder);
    }
    ::rmdir(g_abortFolder.data());
}

extern "C" void OnStopSignal(int signal) {
    if (g_received == 0) {
        g_received = signal;
        return;
    }
    AtomicOutputFile::RemovePendingForSignal();
    RemoveAbortFolder();
    ::_exit(128 + signal);
}

} // namespace

void StopSignals::Install() {
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    // No SA_RESTART: a read waiting on a pipe or a FIFO must not hold the tool after a signal.
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
    // A reader that went away (`| head`) or a file-size limit would end the tool on the spot,
    // leaving its part files and private folder; ignored, the write fails and the usual
    // clean-up runs.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

int StopSignals::Received() {
    return g_received;
}

int StopSignals::ExitCode() {
    return 128 + g_received;
}

void StopSignals::RemoveOnAbort(const std::string& folder) {
    g_haveAbortFolder = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (folder.empty() || folder.size() >= g_abortFolder.size()) {
        return;
    }
    std::memcpy(g_abortFolder.data(), folder.c_str(), folder.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_haveAbortFolder = 1;
}

} // namespace orvanta::cli
