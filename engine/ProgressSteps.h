#pragma once

#include <cstdint>

namespace orvanta {

// The engine's only way to report progress and learn of a Cancel. Each long loop calls its
// phase's Begin once with the range's upper bound, Step once per block with the cumulative
// position (1 = go on, 0 = stop), and End once. The window program installs its progress
// dialog, the command-line tool a terminal bar, tests a recorder.
//
// The defaults behave as if no progress window existed: Begin and Step return 0, so a loop
// with nothing installed stops at its first block, as it would with a missing dialog.
class ProgressSteps {
public:
    virtual ~ProgressSteps() = default;

    // Decoding the source; counts MPEG frames (or 1152-sample PCM frames).
    virtual int BeginLoading(uint32_t /*total*/) { return 0; }
    virtual int StepLoading(uint32_t /*position*/) { return 0; }
    virtual void EndLoading(int /*cancelled*/) {}

    // Building the peak file; counts sample frames of the working WAV.
    virtual int BeginWaveform(uint32_t /*total*/) { return 0; }
    virtual int StepWaveform(uint32_t /*position*/) { return 0; }
    virtual void EndWaveform() {}

    // Cutting the ringtone; counts sample frames of the selection.
    virtual int BeginSplitting(uint32_t /*total*/) { return 0; }
    virtual int StepSplitting(uint32_t /*position*/) { return 0; }
    virtual void EndSplitting(int /*cancelled*/) {}

    // Encoding the MP3; counts sample frames of the ringtone WAV.
    virtual int BeginEncoding(uint32_t /*total*/) { return 0; }
    virtual int StepEncoding(uint32_t /*position*/) { return 0; }
    virtual void EndEncoding() {}

    // Asked now and then while the reader searches an MPEG source for a frame, also before the
    // decoding phase begins: 1 = go on, 0 = stop. No window shows that search and nothing can
    // cancel it there, so this one goes on by default; the command-line tool stops on a signal.
    virtual int StepSearching(uint64_t /*bytesSearched*/) { return 1; }
};

// Installs the implementation the engine's loops report to; nullptr removes it. The caller
// keeps ownership and must uninstall before destroying it.
void InstallProgressSteps(ProgressSteps* steps);

// RAII installation for a scope: restores whatever was installed before.
class ScopedProgressSteps {
public:
    explicit ScopedProgressSteps(ProgressSteps& steps);
    ~ScopedProgressSteps();
    ScopedProgressSteps(const ScopedProgressSteps&) = delete;
    ScopedProgressSteps& operator=(const ScopedProgressSteps&) = delete;

private:
    ProgressSteps* m_previous;
};

int BeginLoading(uint32_t total);
int StepLoading(uint32_t position);
void EndLoading(int cancelled);
int BeginWaveform(uint32_t total);
int StepWaveform(uint32_t position);
void EndWaveform();
int BeginSplitting(uint32_t total);
int StepSplitting(uint32_t position);
void EndSplitting(int cancelled);
int BeginEncoding(uint32_t total);
int StepEncoding(uint32_t position);
void EndEncoding();
int StepSearching(uint64_t bytesSearched);

} // namespace orvanta
