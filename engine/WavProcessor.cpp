#include "WavProcessor.h"

#include "AtomicOutputFile.h"
#include "EngineLog.h"
#include "FadeEnvelope.h"
#include "FileHandle.h"
#include "Normalize.h"
#include "PcmFrames.h"
#include "PeakFile.h"
#include "ProgressSteps.h"
#include "TruePeakLimiter.h"
#include "WaveHeader.h"
#include "ZeroCrossing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace orvanta {

namespace {

constexpr std::size_t kChunkBytes = 1024;

// The working WAV opened for reading, its header, and the new output file.
struct Pass {
    FilePtr input;
    AtomicOutputFile output;
    WaveHeaderFields header;
    uint64_t dataBytes = 0; // the samples the header announces, whole frames only
};

// False, with the reason in the log, when a file cannot be opened or the header is unusable.
// The output is created last, so a failure here leaves nothing to clean up.
bool OpenPass(const std::string& wavPath, const std::string& outputPath, Pass& pass) {
    if (IsSameFile(wavPath, outputPath)) {
        EngineLog::Error("Could not write \"%s\": it is the input file.\n", outputPath.c_str());
        return false;
    }
    uint64_t length = 0;
    if (!OpenWorkingWav(wavPath, pass.input, pass.header, length)) {
        return false;
    }
    pass.dataBytes = AudioBytes(pass.header, length);
    return pass.output.Create(outputPath);
}

enum class PassEnd { Done, Cancelled, Failed };

// Reads `byteCount` bytes in chunks of 1024 and hands each to `process` with the index of its
// first frame; `step` reports the frames done and answers whether to go on.
PassEnd ForEachChunk(Pass& pass, uint64_t byteCount,
                     const std::function<bool(std::span<uint8_t>, uint32_t)>& process,
                     const std::function<int(uint32_t)>& step) {
    const uint32_t blockSize = pass.header.BlockSize();
    // Whole frames per chunk: 1024 bytes for every 8- and 16-bit layout; for 24-bit frames a
    // 1024-byte chunk would split a frame and lose count of the frames done.
    const std::size_t chunkBytes = std::max<std::size_t>(kChunkBytes / blockSize, 1) * blockSize;
    std::vector<uint8_t> chunk(chunkBytes);
    uint32_t done = 0;
    while (byteCount > 0) {
        const auto size = static_cast<std::size_t>(std::min<uint64_t>(byteCount, chunkBytes));
        if (std::fread(chunk.data(), 1, size, pass.input.get()) != size) {
            EngineLog::Error("Error reading input file\n");
            return PassEnd::Failed;
        }
        if (!process(std::span(chunk).first(size), done)) {
            EngineLog::Error("Error writing output file\n");
            return PassEnd::Failed;
        }
        done += static_cast<uint32_t>(size / blockSize);
        if (step(done) == 0) {
            return PassEnd::Cancelled;
        }
        byteCount -= size;
    }
    return PassEnd::Done;
}

// Puts a whole output in place. A cancelled or failed pass leaves the previous file as it was:
// nothing would use a part of a peak file or a ringtone.
bool FinishPass(Pass& pass, PassEnd end) {
    pass.input.reset();
    if (end == PassEnd::Done) {
        return pass.output.Commit();
    }
    pass.output.Discard();
    return end == PassEnd::Cancelled;
}

} // namespace

bool WavProcessor::BuildPeakFile(const std::string& wavPath, const std::string& peakPath,
                                 int& cancelled) {
    Pass pass;
    if (!OpenPass(wavPath, peakPath, pass)) {
        EndWaveform();
        return false;
    }
    const uint16_t channels = pass.header.channels;
    const auto frames = static_cast<uint32_t>(std::min<uint64_t>(
        pass.dataBytes / pass.header.BlockSize(), std::numeric_limits<uint32_t>::max()));
    std::fseek(pass.input.get(), kWaveHeaderBytes, SEEK_SET);
    BeginWaveform(frames);

    PeakBuilder peaks(pass.header.bitsPerSample);
    peaks.Written({}, channels); // a WAV without samples still gets its channel count
    const auto keepPeaks = [&](std::span<uint8_t> chunk, uint32_t) {
        peaks.Written(chunk, channels);
        return true;
    };
    PassEnd end = PassEnd::Done;
    if (pass.dataBytes > 0) {
        end = ForEachChunk(pass, pass.dataBytes, keepPeaks, &StepWaveform);
        cancelled = end == PassEnd::Cancelled ? 1 : 0;
    }
    if (end == PassEnd::Done && !peaks.WriteTo(pass.output.File())) {
        EngineLog::Error("Error writing output file\n");
        end = PassEnd::Failed;
    }
    const bool ok = FinishPass(pass, end);
    EndWaveform();
    return ok;
}

namespace {

// Whether peaks built while the WAV was written stand for the file as it lies now: every
// sample byte seen, and the file holding exactly those behind its header. Only its length is
// looked at; reading the samples again is what building the peaks on the way saved.
bool DescribesWav(const PeakBuilder& peaks, const std::string& wavPath) {
    std::error_code error;
    const uint64_t length = std::filesystem::file_size(wavPath, error);
    return !error && peaks.Intact() && length == kWaveHeaderBytes + peaks.SampleBytes();
}

} // namespace

bool WavProcessor::WritePeakFile(const PeakBuilder& peaks, const std::string& wavPath,
                                 const std::string& peakPath, int& cancelled) {
    if (!DescribesWav(peaks, wavPath)) {
        return BuildPeakFile(wavPath, peakPath, cancelled);
    }
    if (IsSameFile(wavPath, peakPath)) {
        EngineLog::Error("Could not write \"%s\": it is the input file.\n", peakPath.c_str());
        EndWaveform();
        return false;
    }
    const auto frames = static_cast<uint32_t>(
        std::min<uint64_t>(peaks.Frames(), std::numeric_limits<uint32_t>::max()));
    BeginWaveform(frames);
    // The one step of the phase finishes it; a Cancel there still leaves no peak file.
    if (frames > 0) {
        cancelled = StepWaveform(frames) == 0 ? 1 : 0;
        if (cancelled != 0) {
            EndWaveform();
            return true;
        }
    }
    AtomicOutputFile output;
    bool ok = output.Create(peakPath);
    if (ok && !peaks.WriteTo(output.File())) {
        EngineLog::Error("Error writing output file\n");
        output.Discard();
        ok = false;
    }
    ok = ok && output.Commit();
    EndWaveform();
    return ok;
}

namespace {

struct CutPlan {
    uint64_t startByte = 0;
    uint64_t length = 0;
    uint32_t frames = 0;
};

// The selection in bytes, whole frames only, clamped to the audio the file holds: a selection
// reaching past the end would otherwise copy bytes that are not there.
CutPlan PlanCut(const Pass& pass, int32_t startMs, int32_t endMs) {
    const uint32_t blockSize = pass.header.BlockSize();
    const double bytesPerSecond = static_cast<double>(pass.header.sampleRate) * blockSize;
    const auto toByte = [&](int32_t ms) {
        const double byte = std::trunc(bytesPerSecond * ms * 0.001);
        const double clamped = std::clamp(byte, 0.0, static_cast<double>(pass.dataBytes));
        return static_cast<uint64_t>(clamped) / blockSize * blockSize;
    };
    CutPlan plan;
    plan.startByte = toByte(startMs);
    const uint64_t endByte = std::max(plan.startByte, toByte(endMs));
    plan.length = endByte - plan.startByte;
    plan.frames = static_cast<uint32_t>(
        std::min<uint64_t>(plan.length / blockSize, std::numeric_limits<uint32_t>::max()));
    return plan;
}

// The working WAV's header with the data and RIFF lengths set for `length` bytes of samples.
bool WriteCutHeader(Pass& pass, uint32_t length) {
    WaveHeaderFields out = pass.header;
    const std::array<std::pair<std::size_t, uint32_t>, 2> fields{{{4, length + 36}, {40, length}}};
    for (const auto& [at, value] : fields) {
        for (std::size_t i = 0; i < 4; ++i) {
            out.bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    return std::fwrite(out.bytes.data(), 1, out.bytes.size(), pass.output.File()) ==
           out.bytes.size();
}

// trunc(value) within [low, high]. Clamped while still a float: converting a float beyond the
// integer's range is undefined.
int32_t TruncatedWithin(float value, int32_t low, int32_t high) {
    return static_cast<int32_t>(
        std::clamp(value, static_cast<float>(low), static_cast<float>(high)));
}

int16_t Saturated16(float value) {
    return static_cast<int16_t>(TruncatedWithin(value, -32768, 32767));
}

// g times a sample. Silence stays silence under any gain: an infinite gain times zero would be
// not a number, which no integer conversion takes.
float Scaled(float g, float sample) {
    return sample == 0.0f ? 0.0f : g * sample;
}

// Applies gain `g` to one frame of `bits`-bit samples; other layouts stay as they are. A gain
// that is not a number silences the frame.
void ScaleFrame(std::span<uint8_t> frame, uint16_t bits, float g) {
    if (std::isnan(g)) {
        g = 0.0f;
    }
    if (bits == 16) {
        for (std::size_t at = 0; at + 1 < frame.size(); at += 2) {
            const auto sample = static_cast<int16_t>(frame[at] | frame[at + 1] << 8);
            const auto scaled = static_cast<uint16_t>(Saturated16(Scaled(g, sample)));
            frame[at] = static_cast<uint8_t>(scaled & 0xFF);
            frame[at + 1] = static_cast<uint8_t>(scaled >> 8);
        }
    } else if (bits == 8) {
        for (uint8_t& byte : frame) {
            // Midpoint 127 as designed; the offset as a plain integer so 255 does not wrap.
            byte = static_cast<uint8_t>(
                TruncatedWithin(Scaled(g, static_cast<float>(byte - 127)) + 127.0f, 0, 255));
        }
    }
}

// Reads the 16-bit frames [first, last) into `samples`; false on a short read.
bool ReadFrames(Pass& pass, uint64_t first, uint64_t last, std::vector<int16_t>& samples) {
    const uint32_t blockSize = pass.header.BlockSize();
    std::vector<uint8_t> bytes(static_cast<std::size_t>((last - first) * blockSize));
    if (std::fseek(pass.input.get(), static_cast<long>(kWaveHeaderBytes + first * blockSize),
                   SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), pass.input.get()) != bytes.size()) {
        return false;
    }
    samples.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return true;
}

// The zero crossing nearest in quality to `frame` within the snap window, or `frame` itself.
uint64_t SnapFrame(Pass& pass, uint64_t frame) {
    const uint64_t totalFrames = pass.dataBytes / pass.header.BlockSize();
    const uint64_t radius = uint64_t{pass.header.sampleRate} * kSnapWindowMs / 1000;
    // One frame more on each side, so a crossing at the window's border can be seen.
    const uint64_t first = frame > radius + 1 ? frame - radius - 1 : 0;
    const uint64_t last = std::min(totalFrames, frame + radius + 2);
    std::vector<int16_t> samples;
    if (frame >= totalFrames || !ReadFrames(pass, first, last, samples)) {
        return frame;
    }
    const std::optional<uint32_t> found =
        FindZeroCrossing(samples, pass.header.channels, static_cast<uint32_t>(frame - first),
                         static_cast<uint32_t>(radius));
    return found ? first + *found : frame;
}

void SnapPlan(Pass& pass, CutPlan& plan) {
    const uint32_t blockSize = pass.header.BlockSize();
    if (pass.header.bitsPerSample != 16 || plan.frames == 0) {
        return;
    }
    const uint64_t startFrame = plan.startByte / blockSize;
    const uint64_t lastFrame = startFrame + plan.frames - 1;
    const uint64_t snappedStart = SnapFrame(pass, startFrame);
    const uint64_t snappedEnd = SnapFrame(pass, lastFrame) + 1;
    if (snappedEnd <= snappedStart) {
        return;
    }
    plan.startByte = snappedStart * blockSize;
    plan.length = (snappedEnd - snappedStart) * blockSize;
    plan.frames = static_cast<uint32_t>(snappedEnd - snappedStart);
}

bool RunCut(Pass& pass, const CutPlan& plan, int32_t fadeMs, float amplify, int& cancelled) {
    PassEnd end =
        WriteCutHeader(pass, static_cast<uint32_t>(plan.length)) ? PassEnd::Done : PassEnd::Failed;
    std::fseek(pass.input.get(), static_cast<long>(plan.startByte + kWaveHeaderBytes), SEEK_SET);
    BeginSplitting(plan.frames);

    const uint32_t blockSize = pass.header.BlockSize();
    const uint32_t sampleRate = pass.header.sampleRate;
    const auto copyWithGain = [&](std::span<uint8_t> chunk, uint32_t firstFrame) {
        const uint32_t framesInChunk = static_cast<uint32_t>(chunk.size()) / blockSize;
        for (uint32_t i = 0; i < framesInChunk; ++i) {
            const float g =
                amplify * FadeEnvelope(firstFrame + i, sampleRate, plan.frames, fadeMs, fadeMs);
            if (g != 1.0f) {
                ScaleFrame(chunk.subspan(i * blockSize, blockSize), pass.header.bitsPerSample, g);
            }
        }
        return std::fwrite(chunk.data(), 1, chunk.size(), pass.output.File()) == chunk.size();
    };
    int wasCancelled = 0;
    if (end == PassEnd::Done && plan.length > 0) {
        end = ForEachChunk(pass, plan.length, copyWithGain, &StepSplitting);
        wasCancelled = end == PassEnd::Cancelled ? 1 : 0;
        cancelled = wasCancelled;
    }
    const bool ok = FinishPass(pass, end);
    // A failed cut closes the progress window as a cancelled one does.
    EndSplitting(ok ? wasCancelled : 1);
    return ok;
}

} // namespace

bool WavProcessor::CutRingtone(const std::string& wavPath, const std::string& ringtonePath,
                               int32_t startMs, int32_t endMs, int32_t fadeMs, float amplify,
                               int& cancelled) {
    Pass pass;
    if (!OpenPass(wavPath, ringtonePath, pass)) {
        return false;
    }
    return RunCut(pass, PlanCut(pass, startMs, endMs), fadeMs, amplify, cancelled);
}

bool WavProcessor::CutRingtoneSnapped(const std::string& wavPath, const std::string& ringtonePath,
                                      int32_t startMs, int32_t endMs, int32_t fadeMs, float amplify,
                                      int& cancelled) {
    Pass pass;
    if (!OpenPass(wavPath, ringtonePath, pass)) {
        return false;
    }
    CutPlan plan = PlanCut(pass, startMs, endMs);
    SnapPlan(pass, plan);
    return RunCut(pass, plan, fadeMs, amplify, cancelled);
}

std::optional<WavProcessor::CutFrames>
WavProcessor::SnapCutToZeroCrossings(const std::string& wavPath, int32_t startMs, int32_t endMs) {
    Pass pass;
    uint64_t length = 0;
    if (!OpenWorkingWav(wavPath, pass.input, pass.header, length)) {
        return std::nullopt;
    }
    const uint32_t blockSize = pass.header.BlockSize();
    pass.dataBytes =
        length > kWaveHeaderBytes ? (length - kWaveHeaderBytes) / blockSize * blockSize : 0;
    CutPlan plan = PlanCut(pass, startMs, endMs);
    SnapPlan(pass, plan);
    const auto start = static_cast<uint32_t>(plan.startByte / blockSize);
    return CutFrames{start, start + plan.frames};
}

namespace {

// One pass that writes the selection with a gain, through the limiter (which changes nothing
// where no peak comes near the ceiling), with the fades after it. Its meter hears the samples
// exactly as written.
class NormalizedWriter {
public:
    NormalizedWriter(Pass& pass, const CutPlan& plan, int32_t fadeMs, double gain,
                     double ceilingDbtp, bool mono)
        : m_pass(pass), m_plan(plan), m_fadeMs(fadeMs), m_gain(static_cast<float>(gain)),
          m_mix(mono && pass.header.channels == 2),
          m_meter(m_mix ? 1 : pass.header.channels, pass.header.sampleRate, /*parts=*/0),
          m_limiter(pass.header.channels, pass.header.sampleRate, ceilingDbtp) {}

    bool Process(std::span<const uint8_t> chunk) {
        m_input.resize(chunk.size() / (m_pass.header.bitsPerSample / 8));
        BytesToFloats(chunk, m_pass.header.bitsPerSample, m_input.data());
        for (float& sample : m_input) {
            sample *= m_gain;
        }
        m_limited.clear();
        m_limiter.Process(m_input.data(), m_input.size() / m_pass.header.channels, m_limited);
        return Write(m_limited);
    }

    bool Finish() {
        m_limited.clear();
        m_limiter.Finish(m_limited);
        return Write(m_limited);
    }

    LoudnessFigures Figures() const { return m_meter.Figures(); }
    bool Limited() const { return m_limiter.Acted(); }

private:
    bool Write(std::vector<float>& samples) {
        const unsigned channels = m_pass.header.channels;
        const std::size_t frames = samples.size() / channels;
        for (std::size_t i = 0; i < frames; ++i) {
            const float fade =
                FadeEnvelope(m_written + static_cast<uint32_t>(i), m_pass.header.sampleRate,
                             m_plan.frames, m_fadeMs, m_fadeMs);
            for (unsigned c = 0; c < channels; ++c) {
                samples[i * channels + c] *= fade;
            }
        }
        m_bytes.resize(frames * m_pass.header.BlockSize());
        FloatsToBytes(samples.data(), samples.size(), m_pass.header.bitsPerSample, m_bytes.data());
        BytesToFloats(m_bytes, m_pass.header.bitsPerSample, samples.data());
        if (m_mix) {
            MixToMono(samples);
        }
        m_meter.Add(samples.data(), frames);
        m_written += static_cast<uint32_t>(frames);
        return std::fwrite(m_bytes.data(), 1, m_bytes.size(), m_pass.output.File()) ==
               m_bytes.size();
    }

    Pass& m_pass;
    const CutPlan& m_plan;
    int32_t m_fadeMs;
    float m_gain;
    bool m_mix;
    LoudnessMeter m_meter;
    TruePeakLimiter m_limiter;
    std::vector<float> m_input;
    std::vector<float> m_limited;
    std::vector<uint8_t> m_bytes;
    uint32_t m_written = 0;
};

// A limiter that flattened the loudest passages leaves the ringtone short of its target: more
// passes close in on it. Every shortfall the cut leaves is one the encoder adds to, so it aims
// close: an MP3 that misses its target costs a second encode.
constexpr int kMostPasses = 4;
constexpr double kShortfallWorthAnotherPassLu = 0.05;
// Each dB of gain adds less than 1 LU under a limiter; how much less, the last two passes tell.
constexpr double kFlattestLoudnessPerDb = 0.2;

// The gain for the next pass: along the line through the last two passes, or dB for LU after
// the first.
double NextGainDb(double gainDb, double lufs, double previousGainDb, double previousLufs,
                  double targetLufs) {
    double perDb = 1.0;
    if (std::isfinite(previousLufs) && gainDb != previousGainDb) {
        perDb = std::clamp((lufs - previousLufs) / (gainDb - previousGainDb),
                           kFlattestLoudnessPerDb, 1.0);
    }
    return std::min(gainDb + (targetLufs - lufs) / perDb, NormalizeTarget::kLargestGainDb);
}

} // namespace

bool WavProcessor::CutRingtoneNormalized(const std::string& wavPath,
                                         const std::string& ringtonePath, int32_t startMs,
                                         int32_t endMs, int32_t fadeMs,
                                         const NormalizeTarget& target, bool snap, int& cancelled,
                                         NormalizeResult& result) {
    result = NormalizeResult{};
    const std::optional<LoudnessFigures> before =
        MeasureWavStretch(wavPath, startMs, endMs, fadeMs, nullptr, /*parts=*/0, target.mono);
    if (!before) {
        return false;
    }
    result.before = *before;
    if (!before->Measurable()) {
        result.after = *before;
        return snap ? CutRingtoneSnapped(wavPath, ringtonePath, startMs, endMs, fadeMs, 1.0f,
                                         cancelled)
                    : CutRingtone(wavPath, ringtonePath, startMs, endMs, fadeMs, 1.0f, cancelled);
    }
    Pass pass;
    if (!OpenPass(wavPath, ringtonePath, pass)) {
        return false;
    }
    CutPlan plan = PlanCut(pass, startMs, endMs);
    if (snap) {
        SnapPlan(pass, plan);
    }
    PassEnd end =
        WriteCutHeader(pass, static_cast<uint32_t>(plan.length)) ? PassEnd::Done : PassEnd::Failed;
    BeginSplitting(plan.frames);
    double gainDb = NormalizeGainDb(*before, target);
    double previousGainDb = 0.0;
    double previousLufs = -HUGE_VAL;
    for (int passIndex = 1; end == PassEnd::Done; ++passIndex) {
        std::fseek(pass.input.get(), static_cast<long>(plan.startByte + kWaveHeaderBytes),
                   SEEK_SET);
        std::fseek(pass.output.File(), static_cast<long>(kWaveHeaderBytes), SEEK_SET);
        NormalizedWriter writer(pass, plan, fadeMs, FromDecibels(gainDb), target.ceilingDbtp,
                                target.mono);
        end = ForEachChunk(
            pass, plan.length,
            [&writer](std::span<uint8_t> chunk, uint32_t) { return writer.Process(chunk); },
            &StepSplitting);
        if (end == PassEnd::Done && !writer.Finish()) {
            end = PassEnd::Failed;
        }
        result.after = writer.Figures();
        result.limited = writer.Limited();
        result.gainDb = gainDb;
        result.capped = gainDb >= NormalizeTarget::kLargestGainDb;
        const double shortfall = target.lufs - result.after.integratedLufs;
        if (!result.limited || passIndex == kMostPasses ||
            shortfall < kShortfallWorthAnotherPassLu || gainDb >= NormalizeTarget::kLargestGainDb) {
            break;
        }
        const double nextGainDb = NextGainDb(gainDb, result.after.integratedLufs, previousGainDb,
                                             previousLufs, target.lufs);
        previousGainDb = gainDb;
        previousLufs = result.after.integratedLufs;
        gainDb = nextGainDb;
    }
    cancelled = end == PassEnd::Cancelled ? 1 : 0;
    const bool ok = FinishPass(pass, end);
    EndSplitting(ok ? cancelled : 1);
    return ok;
}

} // namespace orvanta
