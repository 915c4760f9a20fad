#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace orvanta {

// Keeps the true peak of interleaved float audio (full scale 1.0) at or below a ceiling in dBTP.
// Peaks are found on the signal oversampled four times; the gain, one for all channels so the
// stereo image stays, starts falling about 1.5 ms before a peak and recovers over about 50 ms.
// Where no peak comes near the ceiling the samples pass through unchanged, bit for bit. The
// output lags the input by the look-ahead and the interpolator's reach; Finish() hands out the
// rest.
class TruePeakLimiter {
public:
    TruePeakLimiter(unsigned channels, unsigned sampleRate, double ceilingDbtp);

    // Takes `frameCount` frames and appends the frames that are ready to `out`.
    void Process(const float* frames, std::size_t frameCount, std::vector<float>& out);
    // Appends every frame still held back.
    void Finish(std::vector<float>& out);

    // True once the gain fell below 1 anywhere.
    bool Acted() const { return m_acted; }

private:
    static constexpr int kPhases = 4;
    static constexpr int kTaps = 16; // per phase
    static constexpr int kPast = kTaps / 2 - 1;
    static constexpr int kFuture = kTaps / 2;

    float Frame(std::size_t absolute, unsigned channel) const;
    void FillLane(unsigned channel);
    // Works out the gain each frame from m_nextPeak up to `end` needs and pushes it.
    void PushRequiredGains(std::size_t end, std::vector<float>& out);
    void PushRequiredGain(double gain, std::vector<float>& out);
    void EmitFrame(double gain, std::vector<float>& out);
    void DropConsumedInput();

    unsigned m_channels;
    double m_ceiling;
    std::size_t m_lookAhead;
    double m_release;
    std::array<std::array<float, kTaps>, kPhases> m_taps{};

    std::vector<float> m_input; // interleaved frames from m_inputBase on
    std::size_t m_inputBase = 0;
    std::size_t m_received = 0;
    std::size_t m_nextPeak = 0;   // next frame whose required gain is worked out
    std::vector<float> m_lane;    // one channel's samples around the frames being worked out
    std::vector<float> m_values;  // one phase's points between them
    std::vector<float> m_peaks;   // the largest magnitude at or after each of those frames
    std::size_t m_nextOutput = 0; // next frame handed out
    std::size_t m_gainsPushed = 0;
    std::deque<std::pair<std::size_t, double>> m_windowMinimum;
    double m_released = 1.0;
    std::vector<double> m_smoothing; // the last m_lookAhead released gains, a ring
    std::size_t m_smoothingAt = 0;   // the oldest of them
    double m_smoothingSum = 0.0;
    std::size_t m_belowUnity = 0; // how many of them are below 1
    bool m_acted = false;
};

} // namespace orvanta
