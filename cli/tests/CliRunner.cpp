#include "CliRunner.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orvanta::test {

namespace {

std::vector<std::string> Environment(const std::string& tmpdir) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (tmpdir.empty() || std::string_view(*entry).rfind("TMPDIR=", 0) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (!tmpdir.empty()) {
        environment.push_back("TMPDIR=" + tmpdir);
    }
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

CliProcess::CliProcess(const TempDir& dir, const std::vector<std::string>& arguments,
                       const std::string& tmpdir)
    : m_outPath(dir.Path("stdout.txt")), m_errPath(dir.Path("stderr.txt")) {
    std::vector<std::string> argv{ORVANTA_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = Environment(tmpdir);
    const std::vector<char*> rawArguments = Pointers(argv);
    const std::vector<char*> rawEnvironment = Pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&m_pid, rawArguments[0], &actions, nullptr, rawArguments.data(),
                    rawEnvironment.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

void CliProcess::Signal(int signal) const {
    if (m_pid > 0 && !m_endStatus) { // a reaped process's id may be another's by now
        ::kill(m_pid, signal);
        m_stopped = m_stopped && signal != SIGCONT;
    }
}

bool CliProcess::Stop() const {
    if (m_stopped) {
        return true; // a stop is reported once: waiting for it again would wait for ever
    }
    int status = 0;
    ::kill(m_pid, SIGSTOP);
    if (::waitpid(m_pid, &status, WUNTRACED) != m_pid) {
        return false;
    }
    if (!WIFSTOPPED(status)) {
        m_endStatus = status;
        return false;
    }
    m_stopped = true;
    return true;
}

bool CliProcess::RunUntil(const std::function<bool()>& reached) const {
    constexpr int kSlices = 60000;
    for (int slice = 0; slice < kSlices && m_pid > 0 && !m_endStatus; ++slice) {
        if (!Stop()) {
            return false;
        }
        if (reached()) {
            return true;
        }
        Signal(SIGCONT);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
}

CliRun CliProcess::Wait() const {
    CliRun run;
    int status = m_endStatus.value_or(0);
    if (!m_endStatus && (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid)) {
        status = -1;
    }
    if (status != -1 && WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    const Bytes out = ReadBytes(m_outPath);
    const Bytes err = ReadBytes(m_errPath);
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

CliRun RunCli(const std::vector<std::string>& arguments, const std::string& tmpdir) {
    TempDir dir;
    return CliProcess(dir, arguments, tmpdir).Wait();
}

CliRun RunInterruptedOnFifo(const TempDir& dir, const std::vector<std::string>& arguments,
                            const std::string& fifo, const std::string& tmpdir,
                            const std::vector<int>& signals) {
    if (::mkfifo(fifo.c_str(), 0600) != 0) {
        return CliRun{};
    }
    const CliProcess process(dir, arguments, tmpdir);
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    if (writer < 0) {
        return process.Wait();
    }
    ::signal(SIGPIPE, SIG_IGN);
    const Bytes chunk(64 * 1024, 0x11);
    bool open = ::write(writer, chunk.data(), chunk.size()) > 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (const int signal : signals) {
        process.Signal(signal);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int i = 0; open && i < 16; ++i) {
        open = ::write(writer, chunk.data(), chunk.size()) > 0;
    }
    ::close(writer);
    return process.Wait();
}

} // namespace orvanta::test
