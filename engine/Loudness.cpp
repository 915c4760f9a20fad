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

LoudnessMeter::LoudnessMeter(unsigned channels, unsigned sampleRate, int parts)
    : m_channels(channels), m_parts(parts) {
    const int mode =
        EBUR128_MODE_I |
        ((parts & kPeaks) != 0 ? EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK : 0) |
        ((parts & kRange) != 0 ? EBUR128_MODE_LRA : 0) |
        ((parts & kCompact) != 0 ? EBUR128_MODE_HISTOGRAM : 0);
    m_state.reset(ebur128_init(channels, sampleRate, mode));
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const float* frames, std::size_t frameCount) {
    if (m_state && frameCount > 0) {
        ebur128_add_frames_float(m_state.get(), frames, frameCount);
    }
}

namespace {

// The library answers minus infinity (or a huge negative figure) for silence and for a stretch
// without one whole gated block; anything above the absolute gate is a loudness.
double GatedLoudness(int status, double value) {
    return status == EBUR128_SUCCESS && std::isfinite(value) && value > -70.0 ? value : -HUGE_VAL;
}

} // namespace

LoudnessFigures LoudnessMeter::Combined(const std::vector<const LoudnessMeter*>& meters) {
    std::vector<ebur128_state*> states;
    LoudnessFigures figures;
    for (const LoudnessMeter* meter : meters) {
        if (meter != nullptr && meter->m_state) {
            states.push_back(meter->m_state.get());
            const LoudnessFigures own = meter->Figures();
            figures.truePeakDbtp = std::max(figures.truePeakDbtp, own.truePeakDbtp);
            figures.samplePeakDbfs = std::max(figures.samplePeakDbfs, own.samplePeakDbfs);
        }
    }
    double value = 0.0;
    if (!states.empty()) {
        const int status = ebur128_loudness_global_multiple(states.data(), states.size(), &value);
        figures.integratedLufs = GatedLoudness(status, value);
    }
    return figures;
}

LoudnessFigures LoudnessMeter::Figures() const {
    LoudnessFigures figures;
    if (!m_state) {
        return figures;
    }
    double value = 0.0;
    const int status = ebur128_loudness_global(m_state.get(), &value);
    figures.integratedLufs = GatedLoudness(status, value);
    if ((m_parts & kRange) != 0 &&
        ebur128_loudness_range(m_state.get(), &value) == EBUR128_SUCCESS && std::isfinite(value)) {
        figures.rangeLu = value;
    }
    if ((m_parts & kPeaks) == 0) {
        return figures;
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
                                                 const std::atomic<bool>* stop, int parts,
                                                 bool downmix) {
    WavStretch stretch;
    if (!OpenWavStretch(wavPath, startMs, endMs, stretch)) {
        return std::nullopt;
    }
    const unsigned channels = stretch.header.channels;
    const uint32_t rate = stretch.header.sampleRate;
    const bool mix = downmix && channels == 2;
    LoudnessMeter meter(mix ? 1 : channels, rate, parts);
    if (!meter.Valid()) {
        EngineLog::Error("\"%s\": no loudness for this rate or channel count.\n", wavPath.c_str());
        return std::nullopt;
    }
    const bool read = ForEachFloatBlock(
        stretch, stop, [&](std::vector<float>& block, uint32_t firstFrame, uint32_t count) {
            if (fadeMs > 0) {
                for (uint32_t i = 0; i < count; ++i) {
                    const float factor =
                        FadeEnvelope(firstFrame + i, rate, stretch.frames, fadeMs, fadeMs);
                    for (unsigned c = 0; c < channels; ++c) {
                        block[std::size_t{i} * channels + c] *= factor;
                    }
                }
            }
            if (mix) {
                MixToMono(block);
            }
            meter.Add(block.data(), count);
        });
    if (!read) {
        return std::nullopt;
    }
    return meter.Figures();
}

void MixToMono(std::vector<float>& samples) {
    const std::size_t frames = samples.size() / 2;
    for (std::size_t i = 0; i < frames; ++i) {
        samples[i] = (samples[2 * i] + samples[2 * i + 1]) * 0.5f;
    }
    samples.resize(frames);
}

std::optional<LoudnessFigures> MeasureFile(const std::string& path, int32_t startMs, int32_t endMs,
                                           int parts) {
    {
        FilePtr file;
        WaveHeaderFields header;
        uint64_t length = 0;
        if (FormatFromExtension(path) != SourceFormat::MpegAny &&
            OpenWorkingWav(path, file, header, length)) {
            file.reset();
            return MeasureWavStretch(path, startMs, endMs, 0, nullptr, parts);
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
    return MeasureWavStretch(wavPath, startMs, endMs, 0, nullptr, parts);
}

struct LoudnessIndex::Source {
    WavStretch whole;
    uint64_t piecesTotal = 0;
    std::vector<float> block;
};

LoudnessIndex::LoudnessIndex(std::string wavPath) : m_path(std::move(wavPath)) {}

LoudnessIndex::~LoudnessIndex() = default;

bool LoudnessIndex::Open() {
    if (m_source || m_refused) {
        return !m_refused;
    }
    auto source = std::make_unique<Source>();
    if (!OpenWavStretch(m_path, 0, -1, source->whole) || source->whole.header.sampleRate == 0) {
        m_refused = true;
        return false;
    }
    const uint32_t rate = source->whole.header.sampleRate;
    source->piecesTotal = (source->whole.frames + rate - 1) / rate;
    m_pieces.resize(source->piecesTotal);
    m_source = std::move(source);
    return true;
}

std::unique_ptr<LoudnessMeter> LoudnessIndex::MeasureFrames(uint64_t first, uint64_t count,
                                                            const std::atomic<bool>* stop) {
    WavStretch& whole = m_source->whole;
    const uint32_t blockSize = whole.header.BlockSize();
    auto meter = std::make_unique<LoudnessMeter>(whole.header.channels, whole.header.sampleRate,
                                                 LoudnessMeter::kPeaks | LoudnessMeter::kCompact);
    if (!meter->Valid() ||
        std::fseek(whole.file.get(), static_cast<long>(kWaveHeaderBytes + first * blockSize),
                   SEEK_SET) != 0) {
        return nullptr;
    }
    for (uint64_t done = 0; done < count;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return nullptr;
        }
        const auto frames = static_cast<uint32_t>(std::min<uint64_t>(kFramesPerRead, count - done));
        if (!ReadFloatFrames(whole, frames, m_source->block)) {
            return nullptr;
        }
        meter->Add(m_source->block.data(), frames);
        done += frames;
    }
    return meter;
}

const LoudnessMeter* LoudnessIndex::Piece(std::size_t index, const std::atomic<bool>* stop) {
    if (!m_pieces[index]) {
        const uint32_t rate = m_source->whole.header.sampleRate;
        const uint64_t first = uint64_t{rate} * index;
        m_pieces[index] =
            MeasureFrames(first, std::min<uint64_t>(rate, m_source->whole.frames - first), stop);
    }
    return m_pieces[index].get();
}

std::optional<LoudnessFigures> LoudnessIndex::Measure(int32_t startMs, int32_t endMs,
                                                      const std::atomic<bool>* stop) {
    if (!Open()) {
        return std::nullopt;
    }
    const uint64_t rate = m_source->whole.header.sampleRate;
    const auto toFrame = [&](int32_t ms) {
        return std::min<uint64_t>(static_cast<uint64_t>(std::max(ms, 0)) * rate / 1000,
                                  m_source->whole.frames);
    };
    const uint64_t first = toFrame(startMs);
    const uint64_t end = std::max(first, toFrame(endMs));
    const uint64_t firstWhole = (first + rate - 1) / rate;
    const uint64_t endWhole = std::max(firstWhole, end / rate);
    std::vector<std::unique_ptr<LoudnessMeter>> ends;
    std::vector<const LoudnessMeter*> meters;
    if (firstWhole >= endWhole) {
        ends.push_back(MeasureFrames(first, end - first, stop));
    } else {
        ends.push_back(MeasureFrames(first, firstWhole * rate - first, stop));
        ends.push_back(MeasureFrames(endWhole * rate, end - endWhole * rate, stop));
        for (uint64_t piece = firstWhole; piece < endWhole; ++piece) {
            meters.push_back(Piece(static_cast<std::size_t>(piece), stop));
        }
    }
    for (const auto& meter : ends) {
        meters.push_back(meter.get());
    }
    if (std::find(meters.begin(), meters.end(), nullptr) != meters.end()) {
        return std::nullopt;
    }
    return LoudnessMeter::Combined(meters);
}

bool LoudnessIndex::MeasureNextPiece() {
    if (!Open()) {
        return false;
    }
    const auto missing = std::find(m_pieces.begin(), m_pieces.end(), nullptr);
    if (missing == m_pieces.end()) {
        return false;
    }
    return Piece(static_cast<std::size_t>(missing - m_pieces.begin()), nullptr) != nullptr;
}

} // namespace orvanta
