#pragma once

// Runs the engine the way the wizard does and records what it reported.

#include "PcmSink.h"
#include "ProgressSteps.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::test {

// Collects everything the engine writes to its log while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string errors;
    std::string infos;
};

// What one progress phase was told.
struct PhaseRecord {
    int beginCalls = 0;
    uint32_t total = 0;
    std::vector<uint32_t> positions;
    std::vector<int> endCalls; // the cancelled value of each end (1 for the phases without one)
};

// Records every phase; answers "stop" at step number `cancelAtStep` (1-based, counted within
// each phase).
class RecordingProgress : public ProgressSteps {
public:
    int BeginLoading(uint32_t total) override { return Begin(loading, total); }
    int StepLoading(uint32_t position) override { return Step(loading, position); }
    void EndLoading(int cancelled) override { loading.endCalls.push_back(cancelled); }
    int BeginWaveform(uint32_t total) override { return Begin(waveform, total); }
    int StepWaveform(uint32_t position) override { return Step(waveform, position); }
    void EndWaveform() override { waveform.endCalls.push_back(1); }
    int BeginSplitting(uint32_t total) override { return Begin(splitting, total); }
    int StepSplitting(uint32_t position) override { return Step(splitting, position); }
    void EndSplitting(int cancelled) override { splitting.endCalls.push_back(cancelled); }
    int BeginEncoding(uint32_t total) override { return Begin(encoding, total); }
    int StepEncoding(uint32_t position) override { return Step(encoding, position); }
    void EndEncoding() override { encoding.endCalls.push_back(1); }

    int cancelAtStep = 0; // 0 = never
    PhaseRecord loading;
    PhaseRecord waveform;
    PhaseRecord splitting;
    PhaseRecord encoding;

private:
    static int Begin(PhaseRecord& phase, uint32_t total);
    int Step(PhaseRecord& phase, uint32_t position) const;
};

struct DecodeOutcome {
    bool ok = false;
    int cancelled = -1; // untouched when the call failed
    std::string errors;
    std::string infos;
    RecordingProgress progress;
};

// Open, DecodeToWav, Close, with a RecordingProgress installed.
DecodeOutcome DecodeFile(const std::string& source, const std::string& wav, int cancelAtStep = 0,
                         PcmSink* sink = nullptr);

// Open, EncodeToMp3, Close, with a RecordingProgress installed.
DecodeOutcome EncodeFile(const std::string& wav, const std::string& mp3, bool stereo,
                         int outSampleRate, int cancelAtStep = 0);

} // namespace orvanta::test
