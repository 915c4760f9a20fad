// libFuzzer target: the command line. The input's bytes, split at each NUL, are the arguments
// after the program's name; a parsed line must hold only what its command declares, and every
// value goes through the number readers the commands use.

#include "CommandLine.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using orvanta::cli::CommandLine;
using orvanta::cli::CommandSpec;
using orvanta::cli::ValueOption;

using orvanta::fuzz::Violation;

std::vector<std::string> ArgumentsOf(const uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"orvanta-cli"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(current);
    return arguments;
}

bool Declares(const CommandSpec& command, const std::string& valueName) {
    return std::any_of(command.valueOptions.begin(), command.valueOptions.end(),
                       [&](const ValueOption& option) { return option.name == valueName; });
}

void CheckParsed(const CommandLine& line) {
    if (line.command == nullptr) {
        if (!line.help || !line.values.empty() || !line.flags.empty()) {
            Violation("options accepted without a command");
        }
        return;
    }
    if (!line.help && line.arguments.size() != line.command->argumentCount) {
        Violation("a command accepted with the wrong number of arguments");
    }
    for (const auto& [name, value] : line.values) {
        if (!Declares(*line.command, name)) {
            Violation("a value for an option the command does not take");
        }
        const auto decimal = orvanta::cli::ParseDecimal(value);
        if (decimal && !std::isfinite(*decimal)) {
            Violation("a decimal read as infinite or not a number");
        }
        orvanta::cli::ParseWholeNumber(value);
    }
    for (const std::string& flag : line.flags) {
        if (!line.Has(flag) ||
            std::find(line.command->flagOptions.begin(), line.command->flagOptions.end(), flag) ==
                line.command->flagOptions.end()) {
            Violation("a flag the command does not take");
        }
    }
    if (orvanta::cli::UsageText(line.command).empty()) {
        Violation("a command without a usage text");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = ArgumentsOf(data, size);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::string error;
    const auto line =
        orvanta::cli::ParseCommandLine(static_cast<int>(arguments.size()), argv.data(), error);
    if (!line) {
        if (error.empty()) {
            Violation("a refused command line without a reason");
        }
        return 0;
    }
    CheckParsed(*line);
    return 0;
}
