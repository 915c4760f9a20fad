#include "DialogProgressSteps.h"

#include "AppMainWindow.h"
#include "ConversionEngine.h"
#include "ProgressDialog.h"
#include "TestSources.h"
#include "UiTestSupport.h"
#include "WavProcessor.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

using orvanta::test::TempDir;

std::string LanguageFile(const std::string& title, const std::string& message) {
    const auto entry = [](const std::string& id, const std::string& text) {
        return "<string strid=\"" + id + "\"><text code=\"en\" lang=\"English\">" + text +
               "</text></string>";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><strings>" + entry("idd_processing", title) +
           entry("idc_cancel", "Stop") + entry("idd_loading_source_file", message) +
           entry("idd_making_waveform", "Making the waveform") +
           entry("idd_splitting_file", "Splitting") + entry("idd_encoding_mp3", "Encoding") +
           "</strings>";
}

// The real progress functions, with what each step answered and a hook that runs before it.
class RecordingDialogSteps : public DialogProgressSteps {
public:
    int StepLoading(uint32_t p) override {
        return Record([&] { return DialogProgressSteps::StepLoading(p); });
    }
    int StepWaveform(uint32_t p) override {
        return Record([&] { return DialogProgressSteps::StepWaveform(p); });
    }
    int StepSplitting(uint32_t p) override {
        return Record([&] { return DialogProgressSteps::StepSplitting(p); });
    }
    int StepEncoding(uint32_t p) override {
        return Record([&] { return DialogProgressSteps::StepEncoding(p); });
    }

    std::function<void(int)> beforeStep; // gets the 1-based number of the step
    std::vector<int> answers;
    bool mainDisabledInEveryStep = true;

private:
    int Record(const std::function<int()>& step) {
        if (beforeStep) {
            beforeStep(static_cast<int>(answers.size()) + 1);
        }
        if (AppMainWindow() != nullptr && AppMainWindow()->isEnabled()) {
            mainDisabledInEveryStep = false;
        }
        answers.push_back(step());
        return answers.back();
    }
};

class DialogProgressStepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        m_main.show();
        SetAppMainWindow(&m_main);
    }
    void TearDown() override {
        CloseProgressWindow();
        SetAppMainWindow(nullptr);
        ClearSettings();
    }

    // A stereo 16-bit WAV of 40 decoder blocks.
    std::string MakeSource() {
        const std::string path = m_dir.Path("song.wav");
        orvanta::test::WriteBytes(
            path,
            orvanta::test::MakeWav16(orvanta::test::MusicSamples(2, 44100, 1152 * 40), 2, 44100));
        return path;
    }

    struct Result {
        bool ok = false;
        int cancelled = -1;
    };
    static Result Decode(const std::string& source, const std::string& wav) {
        Result result;
        orvanta::ConversionEngine engine;
        if (engine.Open()) {
            result.ok = engine.DecodeToWav(source, wav, result.cancelled);
        }
        return result;
    }

    ScopedStringTable m_strings{LanguageFile("Processing", "Loading"), "en"};
    QWidget m_main;
    TempDir m_dir;
    RecordingDialogSteps m_steps;
    orvanta::ScopedProgressSteps m_installed{m_steps};
};

TEST_F(DialogProgressStepsTest, TitleIsBareUntilOnePercent) {
    ASSERT_EQ(orvanta::BeginLoading(200), 1);
    ProgressDialog* dialog = CurrentProgressDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Processing");
    EXPECT_EQ(dialog->CancelButton()->text().toStdString(), "Stop");
    EXPECT_EQ(dialog->Message(), "Loading");
    EXPECT_FALSE(m_main.isEnabled());
    EXPECT_EQ(orvanta::StepLoading(0), 1);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Processing");
    EXPECT_EQ(orvanta::StepLoading(100), 1);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Processing [50%]");
    orvanta::EndLoading(1);
    EXPECT_EQ(CurrentProgressDialog(), nullptr);
    EXPECT_TRUE(m_main.isEnabled());
}

struct PhasePair {
    const char* name;
    int (*begin)(uint32_t);
    void (*endFirst)(int);
    int (*takeOver)(uint32_t);
    int (*step)(uint32_t);
    void (*endSecond)();
    const char* secondMessage;
};

// The second phase of a pair keeps the window, restarts its bar and title at 0 % and shows its
// own message, whatever percentage the first phase left behind.
TEST_F(DialogProgressStepsTest, SecondPhaseReusesTheWindowFromZeroPercent) {
    const PhasePair pairs[] = {
        {"decode, peak file", orvanta::BeginLoading, orvanta::EndLoading, orvanta::BeginWaveform,
         orvanta::StepWaveform, orvanta::EndWaveform, "Making the waveform"},
        {"cut, encode", orvanta::BeginSplitting, orvanta::EndSplitting, orvanta::BeginEncoding,
         orvanta::StepEncoding, orvanta::EndEncoding, "Encoding"},
    };
    const std::pair<uint32_t, uint32_t> firstPhaseEnds[] = {{10, 10}, {2, 1000}};
    for (const PhasePair& pair : pairs) {
        for (const auto& [position, total] : firstPhaseEnds) {
            ASSERT_EQ(pair.begin(total), 1);
            ProgressDialog* dialog = CurrentProgressDialog();
            dialog->SetPos(static_cast<int>(position));
            pair.endFirst(0);
            ASSERT_EQ(CurrentProgressDialog(), dialog) << pair.name;
            EXPECT_EQ(pair.takeOver(500), 1);
            EXPECT_EQ(dialog->Message(), pair.secondMessage);
            EXPECT_EQ(pair.step(0), 1);
            EXPECT_EQ(dialog->windowTitle().toStdString(), "Processing [0%]")
                << pair.name << " " << position;
            EXPECT_EQ(dialog->ProgressBar()->value(), 0);
            EXPECT_FALSE(m_main.isEnabled());
            pair.endSecond();
            EXPECT_EQ(CurrentProgressDialog(), nullptr);
            EXPECT_TRUE(m_main.isEnabled()) << pair.name;
        }
    }
}

TEST_F(DialogProgressStepsTest, TranslatedTextsAreShownLiterally) {
    ScopedStringTable strings(LanguageFile("%s [*] %d %%", "100% &lt;b&gt;%s&lt;/b&gt;"), "en");
    ASSERT_EQ(orvanta::BeginLoading(200), 1);
    ProgressDialog* dialog = CurrentProgressDialog();
    EXPECT_EQ(dialog->Message(), "100% <b>%s</b>");
    EXPECT_EQ(dialog->windowHandle()->title().toStdString(), "%s [*] %d %%");
    orvanta::StepLoading(100);
    EXPECT_EQ(dialog->windowHandle()->title().toStdString(), "%s [*] %d %% [50%]");
}

TEST_F(DialogProgressStepsTest, WithoutAWindowStepsStopAndBeginsOfSecondPhasesDoNothing) {
    for (int (*step)(uint32_t) : {orvanta::StepLoading, orvanta::StepWaveform,
                                  orvanta::StepSplitting, orvanta::StepEncoding}) {
        EXPECT_EQ(step(1), 0);
    }
    EXPECT_EQ(orvanta::BeginWaveform(10), 0);
    EXPECT_EQ(orvanta::BeginEncoding(10), 0);
    orvanta::EndWaveform();
    orvanta::EndLoading(1);
    EXPECT_EQ(CurrentProgressDialog(), nullptr);
    EXPECT_TRUE(m_main.isEnabled());
}

TEST_F(DialogProgressStepsTest, ANewPhaseReplacesAWindowLeftBehind) {
    ASSERT_EQ(orvanta::BeginLoading(10), 1);
    ASSERT_EQ(orvanta::BeginSplitting(10), 1);
    EXPECT_EQ(CurrentProgressDialog()->Message(), "Splitting");
    orvanta::EndSplitting(1);
    EXPECT_TRUE(m_main.isEnabled());
}

// Each gesture is fired from a timer that runs inside the pump of the third step, a block of work
// that outlasts the pump interval, so that this step pumps.
TEST_F(DialogProgressStepsTest, CancelGesturesStopADecodeAtTheNextStep) {
    const std::pair<const char*, std::function<void()>> gestures[] = {
        {"Escape", [] { QTest::keyClick(CurrentProgressDialog(), Qt::Key_Escape); }},
        {"click",
         [] { QTest::mouseClick(CurrentProgressDialog()->CancelButton(), Qt::LeftButton); }},
        {"space", [] { QTest::keyClick(CurrentProgressDialog()->CancelButton(), Qt::Key_Space); }},
    };
    const std::string source = MakeSource();
    for (const auto& [name, gesture] : gestures) {
        m_steps.answers.clear();
        // An init-capture: clang 14 cannot capture a structured binding itself.
        m_steps.beforeStep = [&fire = gesture](int step) {
            if (step == 3) {
                QTimer::singleShot(0, fire);
                QThread::msleep(ProgressDialog::kPumpIntervalMs + 1);
            }
        };
        const Result result = Decode(source, m_dir.Path("work.wav"));
        EXPECT_TRUE(result.ok) << name;
        EXPECT_EQ(result.cancelled, 1) << name;
        EXPECT_EQ(m_steps.answers, (std::vector<int>{1, 1, 0})) << name;
        EXPECT_TRUE(m_steps.mainDisabledInEveryStep) << name;
        EXPECT_EQ(CurrentProgressDialog(), nullptr) << name;
        EXPECT_TRUE(m_main.isEnabled()) << name;
    }
}

struct ScopeRow {
    const char* name;
    int cancelAtStep;        // 0 = never
    bool unwritableWav;      // the decode cannot create its output
    bool buildPeakFile;      // the page goes on to the peak file
    bool unwritablePeakFile; //
    bool windowLeftBeforeScopeEnds;
};

TEST_F(DialogProgressStepsTest, MainWindowIsEnabledAgainAfterEveryOutcome) {
    const ScopeRow rows[] = {
        {"decode and peak file", 0, false, true, false, false},
        {"cancelled decode", 2, false, false, false, false},
        {"decode into an unwritable path", 0, true, false, false, false},
        {"peak file into an unwritable path", 0, false, true, true, false},
        {"page stops after the decode", 0, false, false, false, true},
    };
    const std::string source = MakeSource();
    for (const ScopeRow& row : rows) {
        m_steps.answers.clear();
        m_steps.beforeStep = [&row](int step) {
            if (step == row.cancelAtStep) {
                CurrentProgressDialog()->OnCancel();
            }
        };
        {
            ProgressWindowScope scope;
            const std::string wav =
                row.unwritableWav ? "/nonexistent/work.wav" : m_dir.Path("w.wav");
            const Result decoded = Decode(source, wav);
            EXPECT_EQ(decoded.ok, !row.unwritableWav) << row.name;
            EXPECT_EQ(decoded.cancelled, row.unwritableWav       ? -1
                                         : row.cancelAtStep != 0 ? 1
                                                                 : 0)
                << row.name;
            if (row.buildPeakFile) {
                int cancelled = -1;
                const std::string peak =
                    row.unwritablePeakFile ? "/nonexistent/work.wfp" : m_dir.Path("w.wfp");
                EXPECT_EQ(orvanta::WavProcessor().BuildPeakFile(wav, peak, cancelled),
                          !row.unwritablePeakFile)
                    << row.name;
            }
            EXPECT_EQ(CurrentProgressDialog() != nullptr, row.windowLeftBeforeScopeEnds)
                << row.name;
            EXPECT_EQ(m_main.isEnabled(), !row.windowLeftBeforeScopeEnds) << row.name;
        }
        EXPECT_EQ(CurrentProgressDialog(), nullptr) << row.name;
        EXPECT_TRUE(m_main.isEnabled()) << row.name;
    }
}

} // namespace
