#pragma once

// Runs orvanta-cli as a separate process, as a shell would, and collects what it printed.

#include "TestSources.h"

#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orvanta::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliProcess {
public:
    // Starts the tool with stdin from /dev/null and stdout/stderr into files in `dir`;
    // `tmpdir`, when given, becomes its TMPDIR.
    CliProcess(const TempDir& dir, const std::vector<std::string>& arguments,
               const std::string& tmpdir = "");

    void Signal(int signal) const;
    CliRun Wait() const;

    // Lets the tool run in slices of about a millisecond, stopped in between, until `reached`
    // holds at a stop: the tool is then stopped right there (SIGSTOP), where signals sent next
    // find it. False when the tool ended first.
    bool RunUntil(const std::function<bool()>& reached) const;

private:
    bool Stop() const;

    std::string m_outPath;
    std::string m_errPath;
    pid_t m_pid = -1;
    // While run in slices: stopped and reported so; the status it ended with.
    mutable bool m_stopped = false;
    mutable std::optional<int> m_endStatus;
};

CliRun RunCli(const std::vector<std::string>& arguments, const std::string& tmpdir = "");

// Runs the tool on `arguments`, feeding `fifo` (a path the arguments name; it is made here)
// with raw bytes, and sends `signals` (Ctrl-C by default) one after the other while the tool is
// still reading. A pipe guarantees the tool is mid-read when the signal comes.
CliRun RunInterruptedOnFifo(const TempDir& dir, const std::vector<std::string>& arguments,
                            const std::string& fifo, const std::string& tmpdir = "",
                            const std::vector<int>& signals = {SIGINT});

} // namespace orvanta::test
