// libFuzzer target: one whole decode (Open, DecodeToWav, Close) of an input file on one thread,
// the same decode split into pieces at frames drawn from the input (which must give the same
// result and bytes), then the peak file and the ringtone cut with the same bytes taken as a
// working WAV, cut with a selection, fade and gain drawn from the input.

#include "ConversionEngine.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzWorkspace.h"
#include "ProgressSteps.h"
#include "WavProcessor.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using orvanta::fuzz::ExtensionFor;
using orvanta::fuzz::kMaxInputBytes;

// Without an installed implementation the decode loop stops at its first block; the fuzzer
// wants every input read to its end.
class AlwaysContinue : public orvanta::ProgressSteps {
public:
    int BeginLoading(uint32_t) override { return 1; }
    int StepLoading(uint32_t) override { return 1; }
    int BeginWaveform(uint32_t) override { return 1; }
    int StepWaveform(uint32_t) override { return 1; }
    int BeginSplitting(uint32_t) override { return 1; }
    int StepSplitting(uint32_t) override { return 1; }
};

struct Workspace {
    std::string folder;
    std::string output;
    std::string peaks;
    std::string ringtone;
};

Workspace& TheWorkspace() {
    static Workspace workspace;
    return workspace;
}

bool WriteInput(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

uint32_t LE32(const std::array<uint8_t, 44>& header, std::size_t at) {
    return uint32_t{header[at]} | uint32_t{header[at + 1]} << 8 | uint32_t{header[at + 2]} << 16 |
           uint32_t{header[at + 3]} << 24;
}

using orvanta::fuzz::Violation;

// What every decode promises whatever it was given: a failure leaves no output, a success
// leaves a working WAV whose header describes exactly the bytes that follow it.
void CheckOutcome(bool ok, int cancelled, const std::string& output) {
    struct stat info {};
    const bool exists = ::stat(output.c_str(), &info) == 0;
    if (!ok) {
        if (exists) {
            Violation("a failed decode left its output behind");
        }
        return;
    }
    if (cancelled != 0) {
        Violation("a decode nobody cancelled reported a cancel");
    }
    std::array<uint8_t, 44> header{};
    std::FILE* file = exists ? std::fopen(output.c_str(), "rb") : nullptr;
    if (file == nullptr) {
        Violation("a successful decode left no output");
    }
    const bool complete = std::fread(header.data(), 1, header.size(), file) == header.size();
    std::fclose(file);
    if (!complete) {
        Violation("the working WAV is shorter than its header");
    }
    const auto size = static_cast<uint64_t>(info.st_size);
    const uint32_t dataLength = LE32(header, 40);
    if (std::memcmp(header.data(), "RIFF", 4) != 0 ||
        std::memcmp(header.data() + 8, "WAVEfmt ", 8) != 0 ||
        std::memcmp(header.data() + 36, "data", 4) != 0) {
        Violation("the working WAV's header is not the canonical one");
    }
    if (dataLength != size - 44 || LE32(header, 4) != dataLength + 36) {
        Violation("the working WAV's lengths do not match its size");
    }
    const uint32_t channels = header[22] | header[23] << 8;
    if ((channels != 1 && channels != 2) || dataLength % (2 * channels) != 0) {
        Violation("the working WAV holds a partial sample frame or odd channel count");
    }
}

// The cut's selection, fade length and gain, taken from the input's last bytes so that the
// fuzzer explores any value of each (huge, negative, NaN) along with the file.
struct CutChoices {
    int32_t startMs = 0;
    int32_t endMs = 5000;
    int32_t fadeMs = 1000;
    float amplify = 1.5f;
};

CutChoices ChoicesFrom(const uint8_t* data, std::size_t size) {
    CutChoices choices;
    std::array<uint8_t, 16> tail{};
    if (size < tail.size()) {
        return choices;
    }
    std::memcpy(tail.data(), data + size - tail.size(), tail.size());
    const auto at = [&tail](std::size_t offset) {
        uint32_t value = 0;
        std::memcpy(&value, &tail[offset], sizeof value);
        return value;
    };
    choices.startMs = static_cast<int32_t>(at(0));
    choices.endMs = static_cast<int32_t>(at(4));
    choices.fadeMs = static_cast<int32_t>(at(8));
    const uint32_t gainBits = at(12);
    std::memcpy(&choices.amplify, &gainBits, sizeof choices.amplify);
    return choices;
}

// The peak file and the cut read the 44-byte header with no chunk walking: any bytes must give
// a clean failure, or a ringtone whose header matches its size.
void CheckBytePasses(const std::string& input, const Workspace& workspace,
                     const CutChoices& choices) {
    orvanta::WavProcessor processor;
    int cancelled = -1;
    processor.BuildPeakFile(input, workspace.peaks, cancelled);
    const bool cut =
        processor.CutRingtone(input, workspace.ringtone, choices.startMs, choices.endMs,
                              choices.fadeMs, choices.amplify, cancelled);
    struct stat info {};
    const bool exists = ::stat(workspace.ringtone.c_str(), &info) == 0;
    if (cut != exists) {
        Violation("the cut's result and its output disagree");
    }
    if (cut) {
        std::array<uint8_t, 44> header{};
        std::FILE* file = std::fopen(workspace.ringtone.c_str(), "rb");
        const bool complete =
            file != nullptr && std::fread(header.data(), 1, header.size(), file) == header.size();
        if (file != nullptr) {
            std::fclose(file);
        }
        if (!complete || LE32(header, 40) != static_cast<uint64_t>(info.st_size) - 44) {
            Violation("the ringtone's data length does not match its size");
        }
    }
    std::remove(workspace.peaks.c_str());
    std::remove(workspace.ringtone.c_str());
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::array<char, 65536> chunk{};
        for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
            bytes.append(chunk.data(), got);
        }
        std::fclose(file);
    }
    return bytes;
}

// A decode split into two to four pieces, starting at frames drawn from the input's last two
// bytes (small numbers: fuzzed streams are short), gives what the one-thread decode gave,
// whatever the stream holds.
void CheckSplitDecode(const std::string& input, const std::string& oneThread, bool oneThreadOk,
                      const uint8_t* data, std::size_t size) {
    const std::string split = oneThread + ".split.wav";
    orvanta::DecodeOptions options{.pieces = 2 + data[0] % 3};
    for (std::size_t i = 1; i < 3 && i < size; ++i) {
        options.splitFrames.push_back(data[size - i] % 32u);
    }
    orvanta::ConversionEngine engine;
    int cancelled = -1;
    const bool ok = engine.Open() && engine.DecodeToWav(input, split, cancelled, options);
    engine.Close();
    if (ok != oneThreadOk || (ok && ReadAll(split) != ReadAll(oneThread))) {
        Violation("the split decode differs from the one-thread decode");
    }
    std::remove(split.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    const std::string& folder = orvanta::fuzz::WorkspaceFolder();
    TheWorkspace().folder = folder;
    TheWorkspace().output = folder + "/work.wav";
    TheWorkspace().peaks = folder + "/work.wfp";
    TheWorkspace().ringtone = folder + "/ring.wav";
    static AlwaysContinue progress;
    orvanta::InstallProgressSteps(&progress);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxInputBytes) {
        return -1; // not worth keeping in the corpus
    }
    const Workspace& workspace = TheWorkspace();
    const std::string input = workspace.folder + "/input" + std::string(ExtensionFor(data[0]));
    if (!WriteInput(input, data + 1, size - 1)) {
        std::perror("orvanta fuzz: writing the input");
        std::abort();
    }
    orvanta::ConversionEngine engine;
    if (!engine.Open()) {
        Violation("LAME gave no context");
    }
    int cancelled = -1;
    const bool ok =
        engine.DecodeToWav(input, workspace.output, cancelled, orvanta::DecodeOptions{.pieces = 1});
    engine.Close();
    CheckOutcome(ok, cancelled, workspace.output);
    CheckSplitDecode(input, workspace.output, ok, data, size);
    std::remove(workspace.output.c_str());
    CheckBytePasses(input, workspace, ChoicesFrom(data, size));
    std::remove(input.c_str());
    return 0;
}
