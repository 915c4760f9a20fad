#include "TruePeakLimiter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvanta {

namespace {

constexpr double kLookAheadSeconds = 0.0015;
constexpr double kReleaseSeconds = 0.050;
// The four-times detector can miss the top of a peak by a little; the limit sits that much lower.
constexpr double kDetectionMarginDb = 0.05;
// A recovering gain this close to 1 is 1: the samples after a peak come back unchanged.
constexpr double kUnitySnap = 1e-7;

double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Windowed-sinc interpolation taps for the points 1/4, 2/4 and 3/4 between two samples.
double Tap(double t, double halfLength) {
    constexpr double kBeta = 7.0;
    const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
    const double ratio = t / halfLength;
    const double window = std::abs(ratio) >= 1.0
                              ? 0.0
                              : BesselI0(kBeta * std::sqrt(1.0 - ratio * ratio)) / BesselI0(kBeta);
    return sinc * window;
}

} // namespace

TruePeakLimiter::TruePeakLimiter(unsigned channels, unsigned sampleRate, double ceilingDbtp)
    : m_channels(std::max(channels, 1u)),
      m_ceiling(std::pow(10.0, (ceilingDbtp - kDetectionMarginDb) / 20.0)),
      m_lookAhead(std::max<std::size_t>(
          1, static_cast<std::size_t>(std::lround(kLookAheadSeconds * sampleRate)))),
      m_release(1.0 - std::exp(-1.0 / (kReleaseSeconds * std::max(sampleRate, 1u)))) {
    for (int phase = 1; phase < kPhases; ++phase) {
        double sum = 0.0;
        for (int k = -kPast; k <= kFuture; ++k) {
            const double tap = Tap(static_cast<double>(phase) / kPhases - k, kFuture + 1.0);
            m_taps[phase][k + kPast] = static_cast<float>(tap);
            sum += tap;
        }
        for (float& tap : m_taps[phase]) {
            tap = static_cast<float>(tap / sum);
        }
    }
}

float TruePeakLimiter::Frame(std::size_t absolute, unsigned channel) const {
    if (absolute < m_inputBase || absolute >= m_received) {
        return 0.0f;
    }
    return m_input[(absolute - m_inputBase) * m_channels + channel];
}

void TruePeakLimiter::FillLane(unsigned channel) {
    // Lane index i holds frame m_nextPeak - kPast + i; before the first frame and after the last
    // received one, the audio is silence.
    const auto firstFrame = static_cast<std::ptrdiff_t>(m_nextPeak) - kPast;
    const auto from = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, -firstFrame));
    const std::size_t to =
        std::min(m_lane.size(),
                 static_cast<std::size_t>(static_cast<std::ptrdiff_t>(m_received) - firstFrame));
    std::fill(m_lane.begin(), m_lane.end(), 0.0f);
    if (to <= from) {
        return;
    }
    const float* source =
        m_input.data() +
        (static_cast<std::size_t>(firstFrame + static_cast<std::ptrdiff_t>(from)) - m_inputBase) *
            m_channels +
        channel;
    for (std::size_t i = from; i < to; ++i, source += m_channels) {
        m_lane[i] = *source;
    }
}

void TruePeakLimiter::PushRequiredGains(std::size_t end, std::vector<float>& out) {
    if (end <= m_nextPeak) {
        return;
    }
    // Whole runs of frames at a time, one channel and one phase after the other: the inner loops
    // run over neighbouring samples, which the compiler turns into vector instructions.
    const std::size_t count = end - m_nextPeak;
    m_peaks.assign(count, 0.0f);
    m_lane.resize(count + kTaps - 1);
    m_values.resize(count);
    for (unsigned channel = 0; channel < m_channels; ++channel) {
        FillLane(channel);
        for (std::size_t n = 0; n < count; ++n) {
            m_peaks[n] = std::max(m_peaks[n], std::abs(m_lane[n + kPast]));
        }
        for (int phase = 1; phase < kPhases; ++phase) {
            std::fill(m_values.begin(), m_values.end(), 0.0f);
            for (int tap = 0; tap < kTaps; ++tap) {
                const float weight = m_taps[phase][tap];
                const float* lane = m_lane.data() + tap;
                for (std::size_t n = 0; n < count; ++n) {
                    m_values[n] += weight * lane[n];
                }
            }
            for (std::size_t n = 0; n < count; ++n) {
                m_peaks[n] = std::max(m_peaks[n], std::abs(m_values[n]));
            }
        }
    }
    for (const float peak : m_peaks) {
        PushRequiredGain(peak > m_ceiling ? m_ceiling / peak : 1.0, out);
    }
    m_nextPeak = end;
}

void TruePeakLimiter::PushRequiredGain(double gain, std::vector<float>& out) {
    const std::size_t index = m_gainsPushed++;
    while (!m_windowMinimum.empty() && m_windowMinimum.back().second >= gain) {
        m_windowMinimum.pop_back();
    }
    m_windowMinimum.emplace_back(index, gain);
    if (index + 1 < m_lookAhead) {
        return; // the first window is not full yet
    }
    const std::size_t windowStart = index + 1 - m_lookAhead;
    while (m_windowMinimum.front().first < windowStart) {
        m_windowMinimum.pop_front();
    }
    EmitFrame(m_windowMinimum.front().second, out);
}

void TruePeakLimiter::EmitFrame(double windowMinimum, std::vector<float>& out) {
    double released = m_released + (1.0 - m_released) * m_release;
    if (released > 1.0 - kUnitySnap) {
        released = 1.0;
    }
    m_released = std::min(windowMinimum, released);
    if (m_nextOutput == 0) {
        // Nothing comes before the first frame to ramp down over: the gain starts where the
        // first look-ahead window needs it.
        m_smoothing.assign(m_lookAhead, m_released);
        m_smoothingSum = m_released * static_cast<double>(m_lookAhead);
        m_belowUnity = m_released < 1.0 ? m_lookAhead : 0;
    }
    double& oldest = m_smoothing[m_smoothingAt];
    m_smoothingAt = (m_smoothingAt + 1) % m_lookAhead;
    m_belowUnity -= oldest < 1.0 ? 1 : 0;
    m_smoothingSum -= oldest;
    oldest = m_released;
    m_smoothingSum += m_released;
    m_belowUnity += m_released < 1.0 ? 1 : 0;
    const double gain = m_belowUnity == 0 ? 1.0 : m_smoothingSum / static_cast<double>(m_lookAhead);
    m_acted = m_acted || gain < 1.0;
    for (unsigned channel = 0; channel < m_channels; ++channel) {
        const float sample = Frame(m_nextOutput, channel);
        out.push_back(gain == 1.0 ? sample : static_cast<float>(sample * gain));
    }
    ++m_nextOutput;
}

void TruePeakLimiter::DropConsumedInput() {
    const std::size_t keepFrom =
        std::min(m_nextOutput, m_nextPeak > kPast ? m_nextPeak - kPast : std::size_t{0});
    if (keepFrom > m_inputBase + 4096) {
        m_input.erase(m_input.begin(),
                      m_input.begin() +
                          static_cast<std::ptrdiff_t>((keepFrom - m_inputBase) * m_channels));
        m_inputBase = keepFrom;
    }
}

void TruePeakLimiter::Process(const float* frames, std::size_t frameCount,
                              std::vector<float>& out) {
    m_input.insert(m_input.end(), frames, frames + frameCount * m_channels);
    m_received += frameCount;
    PushRequiredGains(m_received > kFuture ? m_received - kFuture : 0, out);
    DropConsumedInput();
}

void TruePeakLimiter::Finish(std::vector<float>& out) {
    PushRequiredGains(m_received, out);
    while (m_nextOutput < m_received) {
        PushRequiredGain(1.0, out);
    }
    DropConsumedInput();
}

} // namespace orvanta
