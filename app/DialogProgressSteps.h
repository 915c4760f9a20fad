#pragma once

#include "ProgressSteps.h"

#include <cstdint>

class ProgressDialog;

// The engine's progress functions in the window program: they drive the one current progress
// window. Decoding and cutting open a new window; the peak file and the encoding take over the
// window the phase before them left, and always close it. The program installs one instance
// for its whole run with orvanta::ScopedProgressSteps.
class DialogProgressSteps : public orvanta::ProgressSteps {
public:
    int BeginLoading(uint32_t total) override;
    int StepLoading(uint32_t position) override;
    void EndLoading(int cancelled) override;

    int BeginWaveform(uint32_t total) override;
    int StepWaveform(uint32_t position) override;
    void EndWaveform() override;

    int BeginSplitting(uint32_t total) override;
    int StepSplitting(uint32_t position) override;
    void EndSplitting(int cancelled) override;

    int BeginEncoding(uint32_t total) override;
    int StepEncoding(uint32_t position) override;
    void EndEncoding() override;
};

// The current progress window, null when there is none.
ProgressDialog* CurrentProgressDialog();

// Takes down any progress window still up, which re-enables the main window it disabled. A
// decode that fails after its loop, or a page that stops between two phases, would otherwise
// leave the window up and the main window disabled for good.
void CloseProgressWindow();

// Closes whatever progress window is left when a conversion's scope ends, however it ends.
class ProgressWindowScope {
public:
    ProgressWindowScope() = default;
    ~ProgressWindowScope() { CloseProgressWindow(); }
    ProgressWindowScope(const ProgressWindowScope&) = delete;
    ProgressWindowScope& operator=(const ProgressWindowScope&) = delete;
};
