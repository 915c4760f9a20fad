#pragma once

#include "BitmapButton.h"
#include "DialogProgressSteps.h"
#include "MainWizardWindow.h"
#include "StringTable.h"
#include "TestSources.h"
#include "UiTestSupport.h"
#include "WizardPage.h"
#include "WizardTabControl.h"

#include <QByteArray>
#include <functional>
#include <memory>
#include <string>

// The real progress functions, with a hook that runs before every step of every phase, so a
// test can press the progress window's Cancel at the moment it wants.
class HookedProgressSteps : public DialogProgressSteps {
public:
    enum Phase { kLoading, kWaveform, kSplitting, kEncoding };
    std::function<void(Phase)> beforeStep;

    int StepLoading(uint32_t p) override {
        Hook(kLoading);
        return DialogProgressSteps::StepLoading(p);
    }
    int StepWaveform(uint32_t p) override {
        Hook(kWaveform);
        return DialogProgressSteps::StepWaveform(p);
    }
    int StepSplitting(uint32_t p) override {
        Hook(kSplitting);
        return DialogProgressSteps::StepSplitting(p);
    }
    int StepEncoding(uint32_t p) override {
        Hook(kEncoding);
        return DialogProgressSteps::StepEncoding(p);
    }

private:
    void Hook(Phase phase) const {
        if (beforeStep) {
            beforeStep(phase);
        }
    }
};

// The program's window over its own pages and language file, with the job's temporary folder
// pointed at a folder of the test's own.
class PageFixture {
public:
    PageFixture();
    ~PageFixture();

    void Open();
    // Presses Next or Previous as a person would.
    void Next();
    void Previous();
    int Current() const;
    std::string Text(const char* identifier) const;
    // Every entry of the test's temporary folder.
    std::vector<std::string> TempEntries() const;

    // Writes a stereo 16-bit WAV of `seconds` of music-like sound named `name` in the test's
    // folder and returns its path.
    std::string MakeSong(const std::string& name, int seconds) const;

    orvanta::test::TempDir dir;
    orvanta::test::TempDir tempFolder;
    HookedProgressSteps progress;
    std::unique_ptr<MainWizardWindow> window;

private:
    QByteArray m_oldTmpDir;
    ScopedStringTable m_strings{"en"};
    orvanta::ScopedProgressSteps m_installed{progress};
};
