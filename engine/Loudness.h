#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ebur128.h>
#include <memory>
#include <optional>
#include <string>

namespace orvanta {

// Loudness the broadcast way (ITU-R BS.1770 / EBU R128). A stretch too short for one gated
// 400 ms block, or silence, has no integrated loudness: it is minus infinity, never a number a
// gain could be worked out from.
struct LoudnessFigures {
    double integratedLufs = -HUGE_VAL;
    double rangeLu = 0.0;
    double truePeakDbtp = -HUGE_VAL;
    double samplePeakDbfs = -HUGE_VAL;

    bool Measurable() const;
};

// One libebur128 state, fed interleaved float frames (full scale = 1.0).
class LoudnessMeter {
public:
    LoudnessMeter(unsigned channels, unsigned sampleRate, bool withRange = true);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False when the library refused the channel count or the rate.
    bool Valid() const { return m_state != nullptr; }
    void Add(const float* frames, std::size_t frameCount);
    LoudnessFigures Figures() const;

private:
    struct StateDeleter {
        void operator()(ebur128_state* state) const;
    };
    std::unique_ptr<ebur128_state, StateDeleter> m_state;
    unsigned m_channels;
    bool m_withRange;
};

// Decibels of an amplitude ratio, and back.
double ToDecibels(double ratio);
double FromDecibels(double decibels);

// Measures startMs..endMs of a working WAV (canonical header, 8 or 16 bits) with the cut's
// linear fades of `fadeMs` at both ends applied, as the ringtone would hold the samples before
// any gain; `endMs` < 0 means the end of the audio. nullopt when the file is refused or `stop`
// became true on the way (a newer request wants the answer instead).
std::optional<LoudnessFigures> MeasureWavStretch(const std::string& wavPath, int32_t startMs,
                                                 int32_t endMs, int32_t fadeMs = 0,
                                                 const std::atomic<bool>* stop = nullptr);

// Measures any file the engine can decode; a working WAV is read as it is, anything else (an
// MP3 the encoder wrote) is decoded into a private temporary folder first, with no progress
// shown. nullopt, with the reason in the engine's log, when it cannot be read.
std::optional<LoudnessFigures> MeasureFile(const std::string& path, int32_t startMs = 0,
                                           int32_t endMs = -1);

} // namespace orvanta
