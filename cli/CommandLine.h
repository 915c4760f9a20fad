#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::cli {

struct ValueOption {
    std::string name;        // without "--"
    std::string placeholder; // as shown in the usage line
    // The value may be left out: the next argument is taken only when it is a number, and an
    // option given without one holds "".
    bool optionalValue = false;
};

// One command of the tool: its name, its arguments and the options it takes.
struct CommandSpec {
    const char* name;
    const char* arguments; // as shown in its usage line
    std::size_t argumentCount;
    std::vector<ValueOption> valueOptions; // each takes one value: --fade MS
    std::vector<std::string> flagOptions;  // each stands alone: --stereo
    const char* help;
};

const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(const std::string& name);

struct CommandLine {
    const CommandSpec* command = nullptr;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> values; // option name without "--" -> value
    std::vector<std::string> flags;            // flag names without "--"
    bool verbose = false;
    bool help = false;

    bool Has(const std::string& flag) const;
};

// Parses argv; on a usage error returns nullopt and sets `error` to one line saying what is
// wrong. "--help" alone or after a command is no error.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error);

// The usage text of one command, or of the whole tool when `command` is null.
std::string UsageText(const CommandSpec* command);

// Whole decimal numbers only: "12", not "12ms" or "1e3".
std::optional<int> ParseWholeNumber(const std::string& text);

// Plain decimal numbers with an optional sign and fraction: "-14", "-14.5"; not "1e3" or "inf".
std::optional<double> ParseDecimal(const std::string& text);

} // namespace orvanta::cli
