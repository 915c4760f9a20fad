// orvanta-cli: the engine's file-to-file chain without a window.
#include "CommandLine.h"
#include "Commands.h"
#include "EngineLog.h"
#include "PrintableText.h"
#include "StopSignals.h"
#include "TerminalProgress.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The engine's log as it comes, but for control characters a file name may carry.
void WriteLog(std::string_view text) {
    const std::string shown = orvanta::cli::Printable(text, "\n\r\t");
    std::fwrite(shown.data(), 1, shown.size(), stderr);
}

void RouteEngineLog(bool verbose, std::string& lastError) {
    using orvanta::EngineLog::SetErrorSink;
    using orvanta::EngineLog::SetInfoSink;
    SetErrorSink([verbose, &lastError](std::string_view text) {
        lastError.assign(text);
        if (verbose) {
            WriteLog(text);
        }
    });
    if (verbose) {
        SetInfoSink(&WriteLog, [] { std::fflush(stderr); });
    }
}

int ExitCode(orvanta::cli::Outcome outcome) {
    switch (outcome) {
    case orvanta::cli::Outcome::Done:
        return kExitDone;
    case orvanta::cli::Outcome::Cancelled:
        std::fputs("orvanta-cli: cancelled\n", stderr);
        return orvanta::cli::StopSignals::ExitCode();
    case orvanta::cli::Outcome::UsageError:
        return kExitUsage;
    case orvanta::cli::Outcome::Failed:
        break;
    }
    return kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    using namespace orvanta::cli;
    std::string error;
    const std::optional<CommandLine> line = ParseCommandLine(argc, argv, error);
    if (!line) {
        std::fprintf(stderr, "orvanta-cli: %s\n%s", Printable(error).c_str(),
                     UsageText(nullptr).c_str());
        return kExitUsage;
    }
    if (line->help) {
        std::fputs(UsageText(line->command).c_str(), stdout);
        return kExitDone;
    }
    std::string lastError;
    RouteEngineLog(line->verbose, lastError);
    TerminalProgress progress(::isatty(STDERR_FILENO) != 0 && !line->verbose);
    orvanta::ScopedProgressSteps installed(progress);
    StopSignals::Install();
    return ExitCode(RunCommand(*line, lastError));
}
