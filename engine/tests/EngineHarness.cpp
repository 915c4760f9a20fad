#include "EngineHarness.h"

#include "ConversionEngine.h"
#include "EngineLog.h"

#include <stdexcept>

namespace orvanta::test {

LogCapture::LogCapture() {
    EngineLog::SetErrorSink([this](std::string_view text) { errors.append(text); });
    EngineLog::SetInfoSink([this](std::string_view text) { infos.append(text); });
}

LogCapture::~LogCapture() {
    EngineLog::SetErrorSink({});
    EngineLog::SetInfoSink({});
}

int RecordingProgress::BeginLoading(uint32_t totalFrames) {
    ++beginCalls;
    total = totalFrames;
    return 1;
}

int RecordingProgress::StepLoading(uint32_t position) {
    positions.push_back(position);
    return cancelAtStep != 0 && static_cast<int>(positions.size()) >= cancelAtStep ? 0 : 1;
}

void RecordingProgress::EndLoading(int cancelled) {
    endCalls.push_back(cancelled);
}

DecodeOutcome DecodeFile(const std::string& source, const std::string& wav, int cancelAtStep) {
    DecodeOutcome outcome;
    outcome.progress.cancelAtStep = cancelAtStep;
    LogCapture log;
    ScopedProgressSteps installed(outcome.progress);
    ConversionEngine engine;
    if (!engine.Open()) {
        throw std::runtime_error("LAME gave no context");
    }
    int cancelled = -1;
    outcome.ok = engine.DecodeToWav(source, wav, cancelled);
    outcome.cancelled = cancelled;
    engine.Close();
    outcome.errors = log.errors;
    outcome.infos = log.infos;
    return outcome;
}

} // namespace orvanta::test
