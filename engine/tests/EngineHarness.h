#pragma once

// Runs the engine the way the wizard does and records what it reported.

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

// Records the decoding phase's calls; answers "stop" at step number `cancelAtStep` (1-based).
class RecordingProgress : public ProgressSteps {
public:
    int BeginLoading(uint32_t total) override;
    int StepLoading(uint32_t position) override;
    void EndLoading(int cancelled) override;

    int cancelAtStep = 0; // 0 = never
    int beginCalls = 0;
    uint32_t total = 0;
    std::vector<uint32_t> positions;
    std::vector<int> endCalls; // the cancelled value of each EndLoading
};

struct DecodeOutcome {
    bool ok = false;
    int cancelled = -1; // untouched when the decode failed
    std::string errors;
    std::string infos;
    RecordingProgress progress;
};

// Open, DecodeToWav, Close, with a RecordingProgress installed.
DecodeOutcome DecodeFile(const std::string& source, const std::string& wav, int cancelAtStep = 0);

} // namespace orvanta::test
