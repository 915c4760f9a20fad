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
        double absoluteSum = 0.0;
        for (float& tap : m_taps[phase]) {
            tap = static_cast<float>(tap / sum);
            absoluteSum += std::abs(tap);
        }
        m_tapBound = std::max(m_tapBound, absoluteSum * (1.0 + 1e-6));
    }
}

float TruePeakLimiter::Frame(std::size_t absolute, unsigned channel) const {
    if (absolute < m_inputBase || absolute >= m_received) {
        return 0.0f;
    }
    return m_input[(absolute - m_inputBase) * m_channels + channel];
}

double TruePeakLimiter::RequiredGain(std::size_t absolute) const {
    double peak = 0.0;
    std::array<float, kTaps> around{};
    for (unsigned channel = 0; channel < m_channels; ++channel) {
        float loudest = 0.0f;
        for (int k = -kPast; k <= kFuture; ++k) {
            const auto at = static_cast<std::ptrdiff_t>(absolute) + k;
            around[k + kPast] = at < 0 ? 0.0f : Frame(static_cast<std::size_t>(at), channel);
            loudest = std::max(loudest, std::abs(around[k + kPast]));
        }
        peak = std::max(peak, static_cast<double>(std::abs(around[kPast])));
        // No point between the samples can exceed the loudest one by more than the taps'
        // absolute sum: most frames of music lie far enough under the ceiling to skip the rest.
        if (loudest * m_tapBound <= m_ceiling) {
            continue;
        }
        for (int phase = 1; phase < kPhases; ++phase) {
            float value = 0.0f;
            for (int tap = 0; tap < kTaps; ++tap) {
                value += m_taps[phase][tap] * around[tap];
            }
            peak = std::max(peak, static_cast<double>(std::abs(value)));
        }
    }
    return peak > m_ceiling ? m_ceiling / peak : 1.0;
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
    m_belowUnity -= m_smoothing.front() < 1.0 ? 1 : 0;
    m_smoothingSum -= m_smoothing.front();
    m_smoothing.pop_front();
    m_smoothing.push_back(m_released);
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
    while (m_nextPeak + kFuture < m_received) {
        PushRequiredGain(RequiredGain(m_nextPeak++), out);
    }
    DropConsumedInput();
}

void TruePeakLimiter::Finish(std::vector<float>& out) {
    while (m_nextPeak < m_received) {
        PushRequiredGain(RequiredGain(m_nextPeak++), out);
    }
    while (m_nextOutput < m_received) {
        PushRequiredGain(1.0, out);
    }
    DropConsumedInput();
}

} // namespace orvanta
