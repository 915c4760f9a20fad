#include "TerminalProgress.h"

#include "StopSignals.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace orvanta::cli {

namespace {

constexpr int kBarWidth = 40;

} // namespace

TerminalProgress::TerminalProgress(bool drawBar) : m_drawBar(drawBar) {}

int TerminalProgress::Begin(const char* phase, uint32_t total) {
    m_phase = phase;
    m_total = total;
    m_shownPercent = -1;
    return 1;
}

int TerminalProgress::Step(uint32_t position) {
    if (m_drawBar && m_total > 0) {
        const auto percent =
            static_cast<int>(std::min<uint64_t>(100, uint64_t{position} * 100 / m_total));
        if (percent != m_shownPercent) {
            Draw(percent);
        }
    }
    return StopSignals::Received() != 0 ? 0 : 1;
}

int TerminalProgress::StepSearching(uint64_t /*bytesSearched*/) {
    return StopSignals::Received() != 0 ? 0 : 1;
}

void TerminalProgress::End() {
    if (m_drawBar && m_shownPercent >= 0) {
        std::fputc('\n', stderr);
    }
    m_shownPercent = -1;
}

void TerminalProgress::Draw(int percent) {
    m_shownPercent = percent;
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), ' ');
    std::fprintf(stderr, "\r%-10s [%s] %3d%%", m_phase, bar.c_str(), percent);
    std::fflush(stderr);
}

} // namespace orvanta::cli
