// The window program as main() assembles it, stop signals included, importing SONG at once;
// the stop-signal tests end it in the middle of that work. It says "importing" at the first
// block of the decode and, once the window has closed, which page it was on.
//
//     orvanta_exit_driver STRINGS_XML SONG
#include "DialogProgressSteps.h"
#include "ImportPage.h"
#include "MainWizardWindow.h"
#include "ProgramExit.h"
#include "ProgramPages.h"
#include "StringTable.h"
#include "WizardTabControl.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Stands for a song long enough that the work is still going when the signal comes.
constexpr std::chrono::milliseconds kBlockTime{5};

class AnnouncedProgress : public DialogProgressSteps {
public:
    int StepLoading(uint32_t position) override {
        if (!m_announced) {
            m_announced = true;
            std::puts("importing");
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(kBlockTime);
        return DialogProgressSteps::StepLoading(position);
    }

private:
    bool m_announced = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: orvanta_exit_driver STRINGS_XML SONG\n", stderr);
        return 2;
    }
    const ExitSignals exitSignals;
    StringTable::Instance().Load(argv[1], "en");
    AnnouncedProgress progress;
    const orvanta::ScopedProgressSteps installed(progress);
    int page = -1;
    {
        MainWizardWindow window(MakeProgramPages());
        qobject_cast<ImportPage*>(window.TabControl()->Page(0))->SetSourcePath(argv[2]);
        QTimer::singleShot(0, &window, &MainWizardWindow::OnNext);
        window.exec();
        page = window.TabControl()->CurrentIndex();
    }
    std::printf("page %d\n", page);
    StringTable::Release();
    return ExitSignals::ExitStatus(0);
}
