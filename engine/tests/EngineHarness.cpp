#include "EngineHarness.h"

#include "ConversionEngine.h"
#include "EngineLog.h"

#include <functional>
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

int RecordingProgress::Begin(PhaseRecord& phase, uint32_t total) {
    ++phase.beginCalls;
    phase.total = total;
    return 1;
}

int RecordingProgress::Step(PhaseRecord& phase, uint32_t position) const {
    phase.positions.push_back(position);
    return cancelAtStep != 0 && static_cast<int>(phase.positions.size()) >= cancelAtStep ? 0 : 1;
}

namespace {

DecodeOutcome RunConversion(int cancelAtStep,
                            const std::function<bool(ConversionEngine&, int&)>& conversion) {
    DecodeOutcome outcome;
    outcome.progress.cancelAtStep = cancelAtStep;
    LogCapture log;
    ScopedProgressSteps installed(outcome.progress);
    ConversionEngine engine;
    if (!engine.Open()) {
        throw std::runtime_error("LAME gave no context");
    }
    int cancelled = -1;
    outcome.ok = conversion(engine, cancelled);
    outcome.cancelled = cancelled;
    engine.Close();
    outcome.errors = log.errors;
    outcome.infos = log.infos;
    return outcome;
}

} // namespace

DecodeOutcome DecodeFile(const std::string& source, const std::string& wav, int cancelAtStep,
                         PcmSink* sink) {
    return RunConversion(cancelAtStep, [&](ConversionEngine& engine, int& cancelled) {
        return engine.DecodeToWav(source, wav, cancelled,
                                  DecodeOptions{.stopAfterMs = std::nullopt, .sink = sink});
    });
}

DecodeOutcome EncodeFile(const std::string& wav, const std::string& mp3, bool stereo,
                         int outSampleRate, int cancelAtStep) {
    return RunConversion(cancelAtStep, [&](ConversionEngine& engine, int& cancelled) {
        return engine.EncodeToMp3(wav, mp3, cancelled, stereo, outSampleRate);
    });
}

} // namespace orvanta::test
