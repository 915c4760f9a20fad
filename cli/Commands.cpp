#include "Commands.h"

#include "ConversionEngine.h"
#include "Loudness.h"
#include "Modules.h"
#include "Normalize.h"
#include "NormalizedRingtone.h"
#include "PeakFile.h"
#include "PlayCommand.h"
#include "PrintableText.h"
#include "PrivateTempFolder.h"
#include "RingtoneSettings.h"
#include "StopSignals.h"
#include "WavProcessor.h"
#include "WaveHeader.h"
#include "WorkFiles.h"
#include "ZeroCrossing.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>

namespace orvanta::cli {

namespace {

constexpr int kDefaultEndMs = 20000;

// The engine's complaint as one line.
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

void PrintFailure(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "orvanta-cli: %s: %s\n", Printable(file).c_str(),
                 Printable(reason).c_str());
}

Outcome UsageError(const CommandSpec& command, const std::string& message) {
    std::fprintf(stderr, "orvanta-cli: %s\n%s", message.c_str(), UsageText(&command).c_str());
    return Outcome::UsageError;
}

// Maps an engine result (false / true with cancelled) to an outcome, reporting failures. A
// failure after a stop signal is the signal's doing (it cuts a waiting read short).
Outcome Judge(bool ok, int cancelled, const std::string& file, const std::string& lastError) {
    if (!ok && StopSignals::Received() != 0) {
        return Outcome::Cancelled;
    }
    if (!ok) {
        PrintFailure(file, OneLine(lastError));
        return Outcome::Failed;
    }
    return cancelled != 0 ? Outcome::Cancelled : Outcome::Done;
}

// With --no-clobber an existing output (anything at that name, a dangling link too) is left
// alone and the command fails before any work; without it the output is replaced, as scripts
// expect.
bool RefusedByNoClobber(const CommandLine& line, const std::string& output) {
    struct stat info {};
    if (!line.Has("no-clobber") || ::lstat(output.c_str(), &info) != 0) {
        return false;
    }
    PrintFailure(output, "it exists and --no-clobber leaves it alone");
    return true;
}

const std::string kTooShortSelection =
    "the selection must last at least " + std::to_string(kShortestRingtoneMs) + " ms";

// A whole number option within [low, high], or `fallback` when absent; nullopt when malformed.
std::optional<int> NumberOption(const CommandLine& line, const std::string& name, int fallback,
                                int low, int high) {
    const auto found = line.values.find(name);
    if (found == line.values.end()) {
        return fallback;
    }
    const std::optional<int> value = ParseWholeNumber(found->second);
    if (!value || *value < low || *value > high) {
        return std::nullopt;
    }
    return value;
}

constexpr int kMaxMs = 0x7FFFFFFF;

std::optional<float> AmplifyOption(const CommandLine& line) {
    const std::optional<int> percent = NumberOption(line, "amplify", 100, 50, 150);
    return percent ? std::optional<float>(static_cast<float>(*percent) * 0.01f) : std::nullopt;
}

std::optional<int> RateOption(const CommandLine& line) {
    const std::optional<int> rate = NumberOption(line, "rate", 44100, 11025, 44100);
    if (rate && (*rate == 44100 || *rate == 22050 || *rate == 11025)) {
        return rate;
    }
    return std::nullopt;
}

std::optional<int> QualityOption(const CommandLine& line) {
    const auto found = line.values.find("quality");
    if (found == line.values.end() || found->second == "high") {
        return 44100;
    }
    if (found->second == "medium") {
        return 22050;
    }
    if (found->second == "low") {
        return 11025;
    }
    return std::nullopt;
}

std::optional<RingtoneFormat> FormatOption(const CommandLine& line) {
    const auto found = line.values.find("format");
    return found == line.values.end() ? RingtoneFormat::Mp3 : ParseRingtoneFormat(found->second);
}

constexpr const char* kFormatUsage = "--format takes mp3, m4r or ogg";

// A format whose GStreamer module or elements are missing fails before any work; missing elements
// are named in the words the window program shows beside that format.
bool FormatInstalled(RingtoneFormat format, const std::string& file) {
    const std::optional<std::string> missing = WhyFormatUnavailable(format);
    if (missing) {
        PrintFailure(file, *missing);
    }
    return !missing;
}

// The title of a ringtone encoded on its own: its output name, less a "_ringtone" ending.
std::string TitleForOutput(const std::string& outputPath) {
    std::string title = RingtoneTitle(outputPath);
    const std::string doubled = "_ringtone (ringtone)";
    if (title.size() > doubled.size() && title.ends_with(doubled)) {
        title.replace(title.size() - doubled.size(), doubled.size(), " (ringtone)");
    }
    return title;
}

// --normalize [LUFS] and --true-peak DB: nullopt without --normalize; a usage error (outside the
// limits, --true-peak alone) leaves `error` set.
std::optional<NormalizeTarget> NormalizeOption(const CommandLine& line, std::string& error) {
    const auto normalize = line.values.find("normalize");
    const auto ceiling = line.values.find("true-peak");
    if (normalize == line.values.end()) {
        if (ceiling != line.values.end()) {
            error = "--true-peak needs --normalize";
        }
        return std::nullopt;
    }
    NormalizeTarget target;
    const std::optional<double> lufs =
        normalize->second.empty() ? std::optional(target.lufs) : ParseDecimal(normalize->second);
    const std::optional<double> dbtp = ceiling == line.values.end()
                                           ? std::optional(target.ceilingDbtp)
                                           : ParseDecimal(ceiling->second);
    if (line.values.count("amplify") != 0) {
        error = "--normalize and --amplify exclude each other";
    } else if (!lufs || !dbtp || !NormalizeTarget{*lufs, *dbtp}.InRange()) {
        error = "--normalize takes -30 to -5 (LUFS), --true-peak -9 to 0 (dBTP)";
    } else {
        target = NormalizeTarget{*lufs, *dbtp};
    }
    return target;
}

std::string Figure(double value) {
    if (!std::isfinite(value)) {
        return "-inf";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string JsonFigure(double value) {
    return std::isfinite(value) ? Figure(value) : "\"-inf\"";
}

// Says on stderr what a normalised cut did, so a gain left at 100 % is never a surprise.
void ReportNormalize(const NormalizeResult& result) {
    if (!result.before.Measurable()) {
        std::fputs("orvanta-cli: loudness unmeasurable (-inf: silence or under 400 ms); "
                   "the gain stays at 100 %\n",
                   stderr);
        return;
    }
    // The MP3's true peak when there is one; the cut alone measures only its loudness.
    const bool encoded = result.encoded.Measurable();
    const std::string peak =
        encoded ? ", " + Figure(result.encoded.truePeakDbtp) + " dBTP" : std::string();
    std::fprintf(stderr, "orvanta-cli: %s LUFS -> %s LUFS%s (gain %+.1f dB%s%s%s)\n",
                 Figure(result.before.integratedLufs).c_str(),
                 Figure((encoded ? result.encoded : result.after).integratedLufs).c_str(),
                 peak.c_str(), result.gainDb, result.capped ? ", capped" : "",
                 result.limited ? ", peaks limited" : "",
                 result.encodedTwice ? ", encoded again" : "");
}

Outcome Measure(const CommandLine& line, const std::string& lastError) {
    const std::optional<int> startMs = NumberOption(line, "start", 0, 0, kMaxMs);
    const std::optional<int> endMs = NumberOption(line, "end", -1, 0, kMaxMs);
    if (!startMs || !endMs || (*endMs >= 0 && *endMs <= *startMs)) {
        return UsageError(*line.command, "--start and --end take whole milliseconds, start < end");
    }
    const std::optional<LoudnessFigures> figures = MeasureFile(line.arguments[0], *startMs, *endMs);
    if (!figures) {
        return Judge(false, 0, line.arguments[0], lastError);
    }
    if (line.Has("json")) {
        std::printf("{\"integrated_lufs\": %s, \"loudness_range_lu\": %s, \"true_peak_dbtp\": %s, "
                    "\"sample_peak_dbfs\": %s}\n",
                    JsonFigure(figures->integratedLufs).c_str(),
                    JsonFigure(figures->rangeLu).c_str(), JsonFigure(figures->truePeakDbtp).c_str(),
                    JsonFigure(figures->samplePeakDbfs).c_str());
    } else {
        std::printf("Integrated loudness: %s LUFS\nLoudness range: %s LU\nTrue peak: %s dBTP\n"
                    "Sample peak: %s dBFS\n",
                    Figure(figures->integratedLufs).c_str(), Figure(figures->rangeLu).c_str(),
                    Figure(figures->truePeakDbtp).c_str(), Figure(figures->samplePeakDbfs).c_str());
    }
    return Outcome::Done;
}

// With --peaks the peak file is built from the samples as the decode writes them, so the WAV is
// not read again. It is refused before any work where it would replace the source or the WAV.
Outcome Decode(const CommandLine& line, const std::string& lastError) {
    const std::string& source = line.arguments[0];
    const std::string& wav = line.arguments[1];
    const auto peakPath = line.values.find("peaks");
    const bool withPeaks = peakPath != line.values.end();
    const std::optional<int> threads = NumberOption(line, "threads", 0, 1, 4);
    if (!threads) {
        return UsageError(*line.command, "--threads takes a whole number from 1 to 4");
    }
    if (withPeaks && (peakPath->second == wav || IsSameFile(peakPath->second, source) ||
                      IsSameFile(peakPath->second, wav))) {
        PrintFailure(peakPath->second, "the peak file would replace the source or the WAV");
        return Outcome::Failed;
    }
    ConversionEngine engine;
    PeakBuilder peaks;
    int cancelled = 0;
    bool ok =
        engine.Open() && engine.DecodeToWav(source, wav, cancelled,
                                            DecodeOptions{.stopAfterMs = std::nullopt,
                                                          .sink = withPeaks ? &peaks : nullptr,
                                                          .pieces = *threads});
    if (ok && cancelled == 0 && withPeaks) {
        ok = WavProcessor().WritePeakFile(peaks, wav, peakPath->second, cancelled);
    }
    return Judge(ok, cancelled, source, lastError);
}

Outcome Peaks(const CommandLine& line, const std::string& lastError) {
    int cancelled = 0;
    const bool ok = WavProcessor().BuildPeakFile(line.arguments[0], line.arguments[1], cancelled);
    return Judge(ok, cancelled, line.arguments[0], lastError);
}

// The cut as given, or with its ends on zero crossings.
bool CutSelection(bool snap, const std::string& wavPath, const std::string& ringtonePath,
                  int startMs, int endMs, int fadeMs, float amplify, int& cancelled) {
    WavProcessor processor;
    return snap ? processor.CutRingtoneSnapped(wavPath, ringtonePath, startMs, endMs, fadeMs,
                                               amplify, cancelled)
                : processor.CutRingtone(wavPath, ringtonePath, startMs, endMs, fadeMs, amplify,
                                        cancelled);
}

Outcome Cut(const CommandLine& line, const std::string& lastError) {
    const std::optional<int> startMs = ParseWholeNumber(line.arguments[2]);
    const std::optional<int> endMs = ParseWholeNumber(line.arguments[3]);
    if (!startMs || !endMs || *startMs < 0 || *endMs < *startMs) {
        return UsageError(*line.command, "START_MS and END_MS must be whole milliseconds, "
                                         "START_MS <= END_MS");
    }
    if (!IsLongEnoughForRingtone(*startMs, *endMs)) {
        return UsageError(*line.command, kTooShortSelection);
    }
    const std::optional<int> fadeMs =
        NumberOption(line, "fade", FadeLengthForSelection(*endMs - *startMs), 0, kMaxMs);
    const std::optional<float> amplify = AmplifyOption(line);
    if (!fadeMs || !amplify) {
        return UsageError(*line.command, "--fade takes milliseconds, --amplify 50 to 150");
    }
    std::string normalizeError;
    const std::optional<NormalizeTarget> target = NormalizeOption(line, normalizeError);
    if (!normalizeError.empty()) {
        return UsageError(*line.command, normalizeError);
    }
    int cancelled = 0;
    if (target) {
        NormalizeResult result;
        const bool ok = WavProcessor().CutRingtoneNormalized(line.arguments[0], line.arguments[1],
                                                             *startMs, *endMs, *fadeMs, *target,
                                                             line.Has("snap"), cancelled, result);
        if (ok && cancelled == 0) {
            ReportNormalize(result);
        }
        return Judge(ok, cancelled, line.arguments[0], lastError);
    }
    const bool ok = CutSelection(line.Has("snap"), line.arguments[0], line.arguments[1], *startMs,
                                 *endMs, *fadeMs, *amplify, cancelled);
    return Judge(ok, cancelled, line.arguments[0], lastError);
}

Outcome Encode(const CommandLine& line, const std::string& lastError) {
    const std::optional<int> rate = RateOption(line);
    if (!rate) {
        return UsageError(*line.command, "--rate takes 44100, 22050 or 11025");
    }
    const std::optional<RingtoneFormat> format = FormatOption(line);
    if (!format) {
        return UsageError(*line.command, kFormatUsage);
    }
    if (RefusedByNoClobber(line, line.arguments[1]) ||
        !FormatInstalled(*format, line.arguments[1])) {
        return Outcome::Failed;
    }
    int cancelled = 0;
    const bool ok = EncodeInFormat({line.arguments[0], line.arguments[1], *format,
                                    line.Has("stereo"), *rate, TitleForOutput(line.arguments[1])},
                                   cancelled);
    return Judge(ok, cancelled, line.arguments[0], lastError);
}

// Makes the stop-signal handler forget the private folder once the folder is gone.
struct ForgetAbortFolder {
    ForgetAbortFolder() = default;
    ForgetAbortFolder(const ForgetAbortFolder&) = delete;
    ForgetAbortFolder& operator=(const ForgetAbortFolder&) = delete;
    ~ForgetAbortFolder() { StopSignals::RemoveOnAbort({}); }
};

// The working WAV's length in milliseconds, or nullopt when its header is unusable.
std::optional<int64_t> AudioLengthMs(const std::string& wavPath) {
    FilePtr file;
    WaveHeaderFields header;
    uint64_t fileLength = 0;
    if (!OpenWorkingWav(wavPath, file, header, fileLength)) {
        return std::nullopt;
    }
    const auto frames = AudioBytes(header, fileLength) / header.BlockSize();
    return static_cast<int64_t>(frames * 1000 / header.sampleRate);
}

struct MakeChoices {
    int startMs = 0;
    int endMs = kDefaultEndMs;
    float amplify = 1.0f;
    int rate = 44100;
    RingtoneFormat format = RingtoneFormat::Mp3;
    std::optional<NormalizeTarget> normalize;
};

// Runs one engine step of `make`. The step runs before its `cancelled` is read: passing both
// to one call would leave the order to the compiler, and a cancelled decode would go on.
Outcome RunStep(const std::function<bool(int&)>& step, const std::string& source,
                const std::string& lastError) {
    int cancelled = 0;
    const bool ok = step(cancelled);
    return Judge(ok, cancelled, source, lastError);
}

// The cut and the encode of `make --normalize`, with the check of the MP3 after the encode.
Outcome MakeNormalized(const CommandLine& line, const MakeChoices& choices, const WorkFiles& files,
                       int endMs, const std::string& lastError) {
    RingtoneSettings settings;
    settings.startMs = choices.startMs;
    settings.endMs = endMs;
    settings.fadeMs = FadeLengthForSelection(endMs - choices.startMs);
    settings.stereo = line.Has("stereo");
    settings.outSampleRate = choices.rate;
    settings.snapToZeroCrossings = line.Has("snap");
    NormalizeResult result;
    if (Outcome o = RunStep(
            [&](int& cancelled) {
                return MakeNormalizedRingtone(files.workingWavPath, files.ringtoneWavPath,
                                              files.ringtoneMp3Path, settings, *choices.normalize,
                                              cancelled, result);
            },
            line.arguments[0], lastError);
        o != Outcome::Done) {
        return o;
    }
    ReportNormalize(result);
    std::printf("%s\n", files.ringtoneMp3Path.c_str());
    return Outcome::Done;
}

Outcome MakeRingtone(const CommandLine& line, const MakeChoices& choices,
                     const std::string& lastError) {
    const std::string& source = line.arguments[0];
    // Outlives the folder: removing a large working WAV takes a while, and a second signal
    // meanwhile must still find the folder to remove.
    const ForgetAbortFolder forget;
    PrivateTempFolder temp;
    if (temp.Path().empty()) {
        PrintFailure(source, "cannot make a temporary folder");
        return Outcome::Failed;
    }
    const WorkFiles files = DeriveWorkFiles(source, temp.Path());
    StopSignals::RemoveOnAbort(temp.Path());
    ConversionEngine decoder;
    // Nothing reads a peak file here, and nothing reads the song past the selection's end and the
    // zero-crossing search's reach beyond it.
    const DecodeOptions upToSelection{static_cast<uint32_t>(choices.endMs + 2 * kSnapWindowMs)};
    if (Outcome o = RunStep(
            [&](int& cancelled) {
                return decoder.Open() &&
                       decoder.DecodeToWav(source, files.workingWavPath, cancelled, upToSelection);
            },
            source, lastError);
        o != Outcome::Done) {
        return o;
    }
    const std::optional<int64_t> lengthMs = AudioLengthMs(files.workingWavPath);
    const int endMs = static_cast<int>(std::min<int64_t>(choices.endMs, lengthMs.value_or(0)));
    if (!IsLongEnoughForRingtone(choices.startMs, endMs)) {
        PrintFailure(source, "the selection holds less than " +
                                 std::to_string(kShortestRingtoneMs) +
                                 " ms of audio: the source lasts " +
                                 std::to_string(lengthMs.value_or(0)) + " ms");
        return Outcome::Failed;
    }
    if (choices.normalize && choices.format == RingtoneFormat::Mp3) {
        return MakeNormalized(line, choices, files, endMs, lastError);
    }
    // The other formats get the normalised cut without the MP3's check after the encode.
    NormalizeResult normalized;
    if (Outcome o = RunStep(
            [&](int& cancelled) {
                const int32_t fadeMs = FadeLengthForSelection(endMs - choices.startMs);
                if (choices.normalize) {
                    NormalizeTarget aim = *choices.normalize;
                    aim.mono = !line.Has("stereo");
                    return WavProcessor().CutRingtoneNormalized(
                        files.workingWavPath, files.ringtoneWavPath, choices.startMs, endMs, fadeMs,
                        aim, line.Has("snap"), cancelled, normalized);
                }
                return CutSelection(line.Has("snap"), files.workingWavPath, files.ringtoneWavPath,
                                    choices.startMs, endMs, fadeMs, choices.amplify, cancelled);
            },
            source, lastError);
        o != Outcome::Done) {
        return o;
    }
    if (choices.normalize) {
        ReportNormalize(normalized);
    }
    const std::string ringtonePath = RingtonePathFor(files.ringtoneMp3Path, choices.format);
    if (Outcome o = RunStep(
            [&](int& cancelled) {
                return EncodeInFormat({files.ringtoneWavPath, ringtonePath, choices.format,
                                       line.Has("stereo"), choices.rate, RingtoneTitle(source)},
                                      cancelled);
            },
            source, lastError);
        o != Outcome::Done) {
        return o;
    }
    std::printf("%s\n", ringtonePath.c_str());
    return Outcome::Done;
}

Outcome Make(const CommandLine& line, const std::string& lastError) {
    MakeChoices choices;
    const std::optional<int> startMs = NumberOption(line, "start", 0, 0, kMaxMs);
    const std::optional<int> endMs = NumberOption(line, "end", kDefaultEndMs, 0, kMaxMs);
    const std::optional<float> amplify = AmplifyOption(line);
    const std::optional<int> rate = QualityOption(line);
    if (!startMs || !endMs || *endMs <= *startMs) {
        return UsageError(*line.command, "--start and --end take whole milliseconds, start < end");
    }
    if (!IsLongEnoughForRingtone(*startMs, *endMs)) {
        return UsageError(*line.command, kTooShortSelection);
    }
    if (!amplify || !rate) {
        return UsageError(*line.command,
                          "--amplify takes 50 to 150, --quality high, medium or low");
    }
    std::string normalizeError;
    const std::optional<NormalizeTarget> target = NormalizeOption(line, normalizeError);
    if (!normalizeError.empty()) {
        return UsageError(*line.command, normalizeError);
    }
    const std::optional<RingtoneFormat> format = FormatOption(line);
    if (!format) {
        return UsageError(*line.command, kFormatUsage);
    }
    if (!SelectionFitsFormat(*format, *endMs - *startMs)) {
        return UsageError(*line.command, M4rTooLongMessage());
    }
    const std::string ringtonePath =
        RingtonePathFor(DeriveWorkFiles(line.arguments[0], "").ringtoneMp3Path, *format);
    if (RefusedByNoClobber(line, ringtonePath) || !FormatInstalled(*format, line.arguments[0])) {
        return Outcome::Failed;
    }
    choices = MakeChoices{*startMs, *endMs, *amplify, *rate, *format, target};
    return MakeRingtone(line, choices, lastError);
}

} // namespace

Outcome RunCommand(const CommandLine& line, const std::string& lastEngineError) {
    static const std::map<std::string,
                          std::function<Outcome(const CommandLine&, const std::string&)>>
        kRunners{{"decode", Decode}, {"peaks", Peaks}, {"cut", Cut},         {"measure", Measure},
                 {"encode", Encode}, {"make", Make},   {"play", PlayPreview}};
    return kRunners.at(line.command->name)(line, lastEngineError);
}

} // namespace orvanta::cli
