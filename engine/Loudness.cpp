#include "Loudness.h"

#include "ConversionEngine.h"
#include "EngineLog.h"
#include "FadeEnvelope.h"
#include "PcmFrames.h"
#include "PrivateTempFolder.h"
#include "ProgressSteps.h"
#include "SourceFormat.h"

#include <algorithm>
#include <ebur128.h>
#include <limits>
#include <vector>

namespace orvanta {

namespace {

constexpr uint32_t kFramesPerRead = 8192;

// Lets a decode run to its end with nobody watching: the measurement of a finished file is no
// step the user sees or cancels.
class SilentProgress : public ProgressSteps {
public:
    int BeginLoading(uint32_t) override { return 1; }
    int StepLoading(uint32_t) override { return 1; }
};

} // namespace

bool LoudnessFigures::Measurable() const {
    return std::isfinite(integratedLufs);
}

double ToDecibels(double ratio) {
    return ratio > 0.0 ? 20.0 * std::log10(ratio) : -HUGE_VAL;
}

double FromDecibels(double decibels) {
    return std::pow(10.0, decibels / 20.0);
}

void LoudnessMeter::StateDeleter::operator()(ebur128_state* state) const {
    ebur128_destroy(&state);
}

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned sampleRate, bool withRange)
    : m_channels(channels), m_withRange(withRange) {
    const int mode = EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK |
                     (withRange ? EBUR128_MODE_LRA : 0);
    m_state.reset(ebur128_init(channels, sampleRate, mode));
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const float* frames, std::size_t frameCount) {
    if (m_state && frameCount > 0) {
        ebur128_add_frames_float(m_state.get(), frames, frameCount);
    }
}

LoudnessFigures LoudnessMeter::Figures() const {
    LoudnessFigures figures;
    if (!m_state) {
        return figures;
    }
    double value = 0.0;
    // The library answers minus infinity (or a huge negative figure) for silence and for a
    // stretch without one whole gated block.
    if (ebur128_loudness_global(m_state.get(), &value) == EBUR128_SUCCESS && std::isfinite(value) &&
        value > -70.0) {
        figures.integratedLufs = value;
    }
    if (m_withRange && ebur128_loudness_range(m_state.get(), &value) == EBUR128_SUCCESS &&
        std::isfinite(value)) {
        figures.rangeLu = value;
    }
    double truePeak = 0.0;
    double samplePeak = 0.0;
    for (unsigned channel = 0; channel < m_channels; ++channel) {
        if (ebur128_true_peak(m_state.get(), channel, &value) == EBUR128_SUCCESS) {
            truePeak = std::max(truePeak, value);
        }
        if (ebur128_sample_peak(m_state.get(), channel, &value) == EBUR128_SUCCESS) {
            samplePeak = std::max(samplePeak, value);
        }
    }
    figures.truePeakDbtp = ToDecibels(truePeak);
    figures.samplePeakDbfs = ToDecibels(samplePeak);
    return figures;
}

std::optional<LoudnessFigures> MeasureWavStretch(const std::string& wavPath, int32_t startMs,
                                                 int32_t endMs, int32_t fadeMs,
                                                 const std::atomic<bool>* stop) {
    WavStretch stretch;
    if (!OpenWavStretch(wavPath, startMs, endMs, stretch)) {
        return std::nullopt;
    }
    const unsigned channels = stretch.header.channels;
    const uint32_t rate = stretch.header.sampleRate;
    LoudnessMeter meter(channels, rate);
    if (!meter.Valid()) {
        EngineLog::Error("\"%s\": no loudness for this rate or channel count.\n", wavPath.c_str());
        return std::nullopt;
    }
    std::vector<float> block;
    for (uint32_t done = 0; done < stretch.frames;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        const uint32_t count = std::min(kFramesPerRead, stretch.frames - done);
        if (!ReadFloatFrames(stretch, count, block)) {
            return std::nullopt;
        }
        if (fadeMs > 0) {
            for (uint32_t i = 0; i < count; ++i) {
                const float factor = FadeEnvelope(done + i, rate, stretch.frames, fadeMs, fadeMs);
                for (unsigned c = 0; c < channels; ++c) {
                    block[std::size_t{i} * channels + c] *= factor;
                }
            }
        }
        meter.Add(block.data(), count);
        done += count;
    }
    return meter.Figures();
}

std::optional<LoudnessFigures> MeasureFile(const std::string& path, int32_t startMs,
                                           int32_t endMs) {
    {
        FilePtr file;
        WaveHeaderFields header;
        uint64_t length = 0;
        if (FormatFromExtension(path) != SourceFormat::MpegAny &&
            OpenWorkingWav(path, file, header, length)) {
            file.reset();
            return MeasureWavStretch(path, startMs, endMs);
        }
    }
    PrivateTempFolder folder;
    if (folder.Path().empty()) {
        EngineLog::Error("Could not make a temporary folder.\n");
        return std::nullopt;
    }
    const std::string wavPath = folder.Path() + "measured.wav";
    SilentProgress silent;
    const ScopedProgressSteps scope(silent);
    ConversionEngine engine;
    int cancelled = 0;
    if (!engine.Open() || !engine.DecodeToWav(path, wavPath, cancelled) || cancelled != 0) {
        return std::nullopt;
    }
    return MeasureWavStretch(wavPath, startMs, endMs);
}

} // namespace orvanta
