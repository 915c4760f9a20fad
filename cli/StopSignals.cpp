#include "StopSignals.h"

#include "AtomicOutputFile.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace orvanta::cli {

namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kMaxAbortFiles = 3;
constexpr std::size_t kMaxPathBytes = 4096;

volatile std::sig_atomic_t g_received = 0;

// Fixed storage, so the handler reads it without allocating. `g_abortCount` is published last.
std::array<std::array<char, kMaxPathBytes>, kMaxAbortFiles> g_abortFiles{};
std::array<char, kMaxPathBytes> g_abortFolder{};
volatile std::sig_atomic_t g_abortCount = -1; // -1: no folder to remove

void RemoveAbortFolder() {
    const int count = g_abortCount;
    if (count < 0) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        ::unlink(g_abortFiles[static_cast<std::size_t>(i)].data());
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

bool CopyPath(const std::string& path, std::array<char, kMaxPathBytes>& into) {
    if (path.size() >= into.size()) {
        return false;
    }
    std::memcpy(into.data(), path.c_str(), path.size() + 1);
    return true;
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

void StopSignals::RemoveOnAbort(const std::string& folder, const std::vector<std::string>& files) {
    g_abortCount = -1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (folder.empty() || files.size() > kMaxAbortFiles || !CopyPath(folder, g_abortFolder)) {
        return;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!CopyPath(files[i], g_abortFiles[i])) {
            return;
        }
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_abortCount = static_cast<std::sig_atomic_t>(files.size());
}

} // namespace orvanta::cli
