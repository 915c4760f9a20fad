#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ebur128.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// One libebur128 state, fed interleaved float frames (full scale = 1.0). It always measures the
// integrated loudness; the rest costs time (the true peak most) and is asked for by these bits.
class LoudnessMeter {
public:
    static constexpr int kPeaks = 1;   // true peak and sample peak
    static constexpr int kRange = 2;   // loudness range
    static constexpr int kCompact = 4; // gated blocks as a histogram (0.01 LU steps), for the
                                       // many short meters of a LoudnessIndex

    LoudnessMeter(unsigned channels, unsigned sampleRate, int parts = kPeaks | kRange);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False when the library refused the channel count or the rate.
    bool Valid() const { return m_state != nullptr; }
    void Add(const float* frames, std::size_t frameCount);
    LoudnessFigures Figures() const;
    // The integrated loudness and peaks of the meters' audio taken together, as one meter would
    // give them for blocks that do not straddle two meters. All must be compact or none; no
    // loudness range.
    static LoudnessFigures Combined(const std::vector<const LoudnessMeter*>& meters);

private:
    struct StateDeleter {
        void operator()(ebur128_state* state) const;
    };
    std::unique_ptr<ebur128_state, StateDeleter> m_state;
    unsigned m_channels;
    int m_parts;
};

// Decibels of an amplitude ratio, and back.
double ToDecibels(double ratio);
double FromDecibels(double decibels);

// Measures startMs..endMs of a working WAV (canonical header, 8 or 16 bits) with the cut's
// linear fades of `fadeMs` at both ends applied, as the ringtone would hold the samples before
// any gain, and with stereo mixed to mono when `downmix` is set; `endMs` < 0 means the end of
// the audio. nullopt when the file is refused or `stop`
// became true on the way (a newer request wants the answer instead).
std::optional<LoudnessFigures>
MeasureWavStretch(const std::string& wavPath, int32_t startMs, int32_t endMs, int32_t fadeMs = 0,
                  const std::atomic<bool>* stop = nullptr,
                  int parts = LoudnessMeter::kPeaks | LoudnessMeter::kRange, bool downmix = false);

// Replaces interleaved stereo frames by their mono mix, (left + right) / 2, as the encoder makes
// it for a mono MP3; `samples` then holds one value a frame.
void MixToMono(std::vector<float>& samples);

// Measures any file the engine can decode; a working WAV is read as it is, anything else (an
// MP3 the encoder wrote) is decoded into a private temporary folder first, with no progress
// shown. nullopt, with the reason in the engine's log, when it cannot be read.
std::optional<LoudnessFigures>
MeasureFile(const std::string& path, int32_t startMs = 0, int32_t endMs = -1,
            int parts = LoudnessMeter::kPeaks | LoudnessMeter::kRange);

// The loudness of any selection of one working WAV, quick enough to follow a dragged selection:
// the file is measured once in pieces of one second, kept as compact meters, and a selection
// combines the whole pieces it covers with its two partial ends measured afresh. Gated blocks
// that straddle two pieces are left out, which moves the figure by a few hundredths of a LU on
// music. Not thread-safe: one owner thread.
class LoudnessIndex {
public:
    explicit LoudnessIndex(std::string wavPath);
    ~LoudnessIndex();
    LoudnessIndex(const LoudnessIndex&) = delete;
    LoudnessIndex& operator=(const LoudnessIndex&) = delete;

    const std::string& Path() const { return m_path; }
    // nullopt when the file is refused or `stop` became true.
    std::optional<LoudnessFigures> Measure(int32_t startMs, int32_t endMs,
                                           const std::atomic<bool>* stop = nullptr);
    // Measures the first piece not yet measured; false when there is none left (or the file is
    // refused), so an idle thread can fill the index ahead of the next selection.
    bool MeasureNextPiece();

private:
    bool Open();
    std::unique_ptr<LoudnessMeter> MeasureFrames(uint64_t first, uint64_t count,
                                                 const std::atomic<bool>* stop);
    const LoudnessMeter* Piece(std::size_t index, const std::atomic<bool>* stop);

    std::string m_path;
    struct Source;
    std::unique_ptr<Source> m_source;
    std::vector<std::unique_ptr<LoudnessMeter>> m_pieces;
    bool m_refused = false;
};

} // namespace orvanta
