// orvanta-cli: the engine's file-to-file conversions without a window.
#include "ConversionEngine.h"
#include "EngineLog.h"
#include "TerminalProgress.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;

constexpr const char* kUsage = "usage: orvanta-cli decode [--verbose] SOURCE OUT.wav\n"
                               "  Decodes an MP3/MP2/MP1, WAV, AIFF or raw PCM file into a\n"
                               "  16-bit PCM WAV file.\n";

struct Arguments {
    std::string command;
    std::vector<std::string> paths;
    bool verbose = false;
    bool help = false;
};

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--verbose" || argument == "-v") {
            arguments.verbose = true;
        } else if (argument == "--help" || argument == "-h") {
            arguments.help = true;
        } else if (argument.size() > 1 && argument.front() == '-') {
            return false;
        } else if (arguments.command.empty()) {
            arguments.command = argument;
        } else {
            arguments.paths.emplace_back(argument);
        }
    }
    return arguments.help || (arguments.command == "decode" && arguments.paths.size() == 2);
}

// The engine's last complaint, as one line without its trailing newline.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    return text.empty() ? "unknown failure" : text;
}

void RouteEngineLog(bool verbose, std::string& lastError) {
    using orvanta::EngineLog::SetErrorSink;
    using orvanta::EngineLog::SetInfoSink;
    SetErrorSink([verbose, &lastError](std::string_view text) {
        lastError.assign(text);
        if (verbose) {
            std::fwrite(text.data(), 1, text.size(), stderr);
        }
    });
    if (verbose) {
        SetInfoSink([](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); },
                    [] { std::fflush(stderr); });
    }
}

int Decode(const std::string& source, const std::string& output, bool verbose) {
    std::string lastError;
    RouteEngineLog(verbose, lastError);
    orvanta::cli::TerminalProgress progress(::isatty(STDERR_FILENO) != 0 && !verbose);
    orvanta::ScopedProgressSteps installed(progress);
    orvanta::cli::TerminalProgress::CatchInterrupt();

    orvanta::ConversionEngine engine;
    if (!engine.Open()) {
        std::fprintf(stderr, "orvanta-cli: %s: the MP3 library could not start\n", source.c_str());
        return kExitFailed;
    }
    int cancelled = 0;
    const bool ok = engine.DecodeToWav(source, output, cancelled);
    engine.Close();
    if (!ok) {
        std::fprintf(stderr, "orvanta-cli: %s: %s\n", source.c_str(), OneLine(lastError).c_str());
        return kExitFailed;
    }
    if (cancelled != 0) {
        std::fprintf(stderr, "orvanta-cli: %s: cancelled\n", source.c_str());
        return kExitCancelled;
    }
    return kExitDone;
}

} // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (!ParseArguments(argc, argv, arguments)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (arguments.help) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    return Decode(arguments.paths[0], arguments.paths[1], arguments.verbose);
}
