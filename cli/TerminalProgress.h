#pragma once

#include "ProgressSteps.h"

#include <cstdint>

namespace orvanta::cli {

// Progress for the command line: a bar on stderr when stderr is a terminal, nothing otherwise.
// A step answers "stop" once a stop signal came (StopSignals), so the engine ends as it would on
// Cancel.
class TerminalProgress : public ProgressSteps {
public:
    explicit TerminalProgress(bool drawBar);

    int BeginLoading(uint32_t total) override { return Begin("decoding", total); }
    int StepLoading(uint32_t position) override { return Step(position); }
    void EndLoading(int /*cancelled*/) override { End(); }
    int BeginWaveform(uint32_t total) override { return Begin("peak file", total); }
    int StepWaveform(uint32_t position) override { return Step(position); }
    void EndWaveform() override { End(); }
    int BeginSplitting(uint32_t total) override { return Begin("cutting", total); }
    int StepSplitting(uint32_t position) override { return Step(position); }
    void EndSplitting(int /*cancelled*/) override { End(); }
    int BeginEncoding(uint32_t total) override { return Begin("encoding", total); }
    int StepEncoding(uint32_t position) override { return Step(position); }
    void EndEncoding() override { End(); }
    int StepSearching(uint64_t /*bytesSearched*/) override;

private:
    int Begin(const char* phase, uint32_t total);
    int Step(uint32_t position);
    void End();
    void Draw(int percent);

    bool m_drawBar;
    const char* m_phase = "";
    uint32_t m_total = 0;
    int m_shownPercent = -1;
};

} // namespace orvanta::cli
