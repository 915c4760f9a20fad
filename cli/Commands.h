#pragma once

#include "CommandLine.h"

namespace orvanta::cli {

// Cancelled: a stop signal ended the command (StopSignals).
enum class Outcome { Done, Failed, Cancelled, UsageError };

// Runs the parsed command. Failures print one line "orvanta-cli: FILE: reason" on stderr;
// `lastEngineError` holds the engine's last complaint for that reason.
Outcome RunCommand(const CommandLine& line, const std::string& lastEngineError);

} // namespace orvanta::cli
