#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace orvanta::cli {

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> kCommands{
        {"decode",
         "SOURCE OUT.wav",
         2,
         {{"peaks", "OUT.wfp"}, {"threads", "N"}},
         {},
         "Decodes an MP3/MP2/MP1, WAV, AIFF/AIFF-C or raw PCM file into a 16-bit PCM working\n"
         "WAV with the source's channels and sample rate (MPEG encoder delay and padding\n"
         "removed).\n"
         "  --peaks OUT.wfp    also write the WAV's peak file, as 'peaks' would, built while\n"
         "                     decoding\n"
         "  --threads N        decode an MPEG stream on at most N threads, 1 to 4 (default:\n"
         "                     one per core; the WAV is the same whatever N)\n"},
        {"peaks",
         "WORK.wav OUT.wfp",
         2,
         {},
         {},
         "Reduces a working WAV to its waveform peak file: the channel count, then one sample\n"
         "per channel for every 128th frame.\n"},
        {"cut",
         "WORK.wav RING.wav START_MS END_MS",
         4,
         {{"fade", "MS"}, {"amplify", "PERCENT"}, {"normalize", "LUFS", true}, {"true-peak", "DB"}},
         {"snap"},
         "Cuts START_MS..END_MS out of a working WAV into a ringtone WAV, with linear fades at\n"
         "both ends and a gain. The selection is clamped to the audio; it must last at least\n"
         "1000 ms.\n"
         "  --fade MS          fade length at each end (default: from the selection's length:\n"
         "                     none up to 3 s, 1 s up to 5 s, 2 s up to 10 s, 2.5 s beyond)\n"
         "  --amplify PERCENT  gain, 50 to 150 (default 100); samples saturate at full scale\n"
         "  --snap             move each end to the quietest zero crossing within 5 ms\n"
         "                     (16-bit audio; an end with no crossing nearby stays)\n"
         "  --normalize [LUFS] instead of --amplify: the gain that brings the ringtone, fades\n"
         "                     included, to LUFS integrated loudness, -30 to -5 (default -14)\n"
         "  --true-peak DB     with --normalize: the true-peak ceiling, -9 to 0 dBTP (default\n"
         "                     -1); a limiter keeps louder peaks under it\n"},
        {"measure",
         "FILE",
         1,
         {{"start", "MS"}, {"end", "MS"}},
         {"json"},
         "Measures the loudness of FILE (any source the tool decodes, a working WAV or a finished\n"
         "MP3) as EBU R128 does: integrated loudness, loudness range, true peak, sample peak.\n"
         "A stretch without one whole 400 ms block, or silence, has no loudness: -inf.\n"
         "  --start MS         from here (default 0)\n"
         "  --end MS           to here (default: the end)\n"
         "  --json             one JSON object instead of one value a line\n"},
        {"encode",
         "RING.wav OUT.mp3",
         2,
         {{"rate", "HZ"}, {"format", "F"}},
         {"stereo", "no-clobber"},
         "Encodes a ringtone WAV into an MP3 with LAME's default settings, or into the format\n"
         "that --format names.\n"
         "  --stereo           keep stereo (default: mono)\n"
         "  --rate HZ          output sample rate: 44100 (default), 22050 or 11025\n"
         "  --format F         mp3 (default), m4r (iPhone: AAC, at most 40 s) or ogg (Android:\n"
         "                     Vorbis); the M4R and the Ogg carry the title \"NAME (ringtone)\",\n"
         "                     NAME being OUT's file name without \"_ringtone\" and extension\n"
         "  --no-clobber       fail (status 1) when OUT exists, leaving it alone\n"
         "                     (default: replace it)\n"},
        {"make",
         "SOURCE",
         1,
         {{"start", "MS"},
          {"end", "MS"},
          {"amplify", "PERCENT"},
          {"quality", "Q"},
          {"format", "F"},
          {"normalize", "LUFS", true},
          {"true-peak", "DB"}},
         {"stereo", "no-clobber", "snap"},
         "Makes SOURCE's ringtone in one go, as the wizard does: decode, peak file, cut with\n"
         "fades, encode. Writes NAME_ringtone.mp3 beside the source and prints its path; the\n"
         "temporary files live in a private folder that is removed afterwards.\n"
         "  --start MS         selection start (default 0)\n"
         "  --end MS           selection end (default 20000, clamped to the audio); the\n"
         "                     selection must last at least 1000 ms\n"
         "  --amplify PERCENT  gain, 50 to 150 (default 100)\n"
         "  --stereo           keep stereo (default: mono)\n"
         "  --quality Q        high = 44100 Hz (default), medium = 22050 Hz, low = 11025 Hz\n"
         "  --format F         mp3 (default), m4r (iPhone: AAC, NAME_ringtone.m4r, at most 40 s)\n"
         "                     or ogg (Android: Vorbis, NAME_ringtone.ogg)\n"
         "  --no-clobber       fail (status 1) when the ringtone exists, leaving it alone\n"
         "                     (default: replace it)\n"
         "  --snap             move each end to the quietest zero crossing within 5 ms\n"
         "  --normalize [LUFS] instead of --amplify: the gain that brings the ringtone, fades\n"
         "                     included, to LUFS integrated loudness, -30 to -5 (default -14)\n"
         "  --true-peak DB     with --normalize: the true-peak ceiling, -9 to 0 dBTP (default\n"
         "                     -1); a limiter keeps louder peaks under it\n"},
        {"play",
         "WORK.wav",
         1,
         {{"start", "MS"}, {"end", "MS"}, {"fade", "MS"}},
         {"no-fade-in", "no-fade-out"},
         "Previews a period of a working WAV as the edit page does, into the audio sink that\n"
         "ORVANTA_AUDIO_SINK describes (a GStreamer launch description; default autoaudiosink).\n"
         "--verbose prints the player's events.\n"
         "  --start MS         selection start (default 0)\n"
         "  --end MS           selection end (default: the end of the file)\n"
         "  --fade MS          fade length (default: from the selection's length, as for cut)\n"
         "  --no-fade-in       start at full volume\n"
         "  --no-fade-out      play to the selection's end at full volume\n"},
    };
    return kCommands;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& command : Commands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

bool CommandLine::Has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

const ValueOption* FindValueOption(const std::vector<ValueOption>& options,
                                   const std::string& name) {
    const auto found =
        std::find_if(options.begin(), options.end(),
                     [&name](const ValueOption& option) { return option.name == name; });
    return found == options.end() ? nullptr : &*found;
}

// One "--name" at argv[i]; advances i past a value. False with `error` set on a usage error.
bool TakeOption(int argc, char** argv, int& i, CommandLine& line, std::string& error) {
    const std::string name = std::string(argv[i]).substr(2);
    if (name == "verbose") {
        line.verbose = true;
    } else if (name == "help") {
        line.help = true;
    } else if (line.command != nullptr && Contains(line.command->flagOptions, name)) {
        line.flags.push_back(name);
    } else if (const ValueOption* option = line.command != nullptr
                                               ? FindValueOption(line.command->valueOptions, name)
                                               : nullptr;
               option != nullptr && option->optionalValue) {
        const bool valueFollows = i + 1 < argc && ParseDecimal(argv[i + 1]).has_value();
        line.values[name] = valueFollows ? argv[++i] : "";
    } else if (option != nullptr) {
        if (i + 1 >= argc) {
            error = "--" + name + " needs a value";
            return false;
        }
        line.values[name] = argv[++i];
    } else {
        error = "unknown option --" + name;
        return false;
    }
    return true;
}

// The command's name first, then its arguments. False with `error` set for an unknown command.
bool TakePositional(const std::string& argument, CommandLine& line, std::string& error) {
    if (line.command != nullptr) {
        line.arguments.push_back(argument);
        return true;
    }
    line.command = FindCommand(argument);
    if (line.command == nullptr) {
        error = "unknown command " + argument;
        return false;
    }
    return true;
}

} // namespace

std::optional<CommandLine> ParseCommandLine(int argc, char** argv, std::string& error) {
    CommandLine line;
    // After "--" everything is positional, so a file named "--help" or "-v" can be given.
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            if (!TakePositional(argument, line, error)) {
                return std::nullopt;
            }
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h") {
            line.help = true;
        } else if (argument == "-v") {
            line.verbose = true;
        } else if (argument.rfind("--", 0) == 0) {
            if (!TakeOption(argc, argv, i, line, error)) {
                return std::nullopt;
            }
        } else if (!TakePositional(argument, line, error)) {
            return std::nullopt;
        }
    }
    if (line.help) {
        return line;
    }
    if (line.command == nullptr) {
        error = "no command given";
        return std::nullopt;
    }
    if (line.arguments.size() != line.command->argumentCount) {
        error = std::string(line.command->name) + " takes " + line.command->arguments;
        return std::nullopt;
    }
    return line;
}

std::string UsageText(const CommandSpec* command) {
    const auto line = [](const CommandSpec& spec) {
        std::string text = std::string("orvanta-cli ") + spec.name;
        for (const ValueOption& option : spec.valueOptions) {
            text += " [--" + option.name + " " +
                    (option.optionalValue ? "[" + option.placeholder + "]" : option.placeholder) +
                    "]";
        }
        for (const std::string& flag : spec.flagOptions) {
            text += " [--" + flag + "]";
        }
        return text + " " + spec.arguments + "\n";
    };
    if (command != nullptr) {
        return "usage: " + line(*command) + command->help;
    }
    std::string text = "usage: orvanta-cli COMMAND [--verbose] [OPTIONS] ARGUMENTS\n";
    for (const CommandSpec& spec : Commands()) {
        text += "  " + line(spec);
    }
    text += "Every command takes --verbose (show the engine's log) and --help; '--' ends the\n"
            "options, so what follows is an argument even when it starts with '-'.\n"
            "Run 'orvanta-cli COMMAND --help' for a command's options.\n"
            "Exit status: 0 done, 1 failed, 2 usage error, 128 + the signal's number when\n"
            "Ctrl-C (130), SIGTERM (143) or SIGHUP (129) stopped it; a second signal stops it\n"
            "at once. Unfinished outputs are removed either way, a stopped MP3 too; a file the\n"
            "output would have replaced stays as it was.\n";
    return text;
}

std::optional<int> ParseWholeNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseDecimal(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
    });
    double value = 0.0;
    const char* first = text.data() + (text.rfind('+', 0) == 0 ? 1 : 0);
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (!plain || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace orvanta::cli
