// The window program as main() assembles it, stop signals included, importing SONG at once. It
// prints "importing" at the first block of the decode and, once the window has closed, the page
// it stood on.    orvanta_exit_driver STRINGS_XML SONG
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

// Each block takes a while, as for a long song, so the signal comes in the middle of the work.
class SlowProgress : public DialogProgressSteps {
public:
    int StepLoading(uint32_t position) override {
        if (!m_told) {
            m_told = true;
            std::puts("importing");
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return DialogProgressSteps::StepLoading(position);
    }

private:
    bool m_told = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const ExitSignals exitSignals;
    StringTable::Instance().Load(argc > 1 ? argv[1] : "", "en");
    SlowProgress progress;
    const orvanta::ScopedProgressSteps installed(progress);
    int page = -1;
    {
        MainWizardWindow window(MakeProgramPages());
        qobject_cast<ImportPage*>(window.TabControl()->Page(0))
            ->SetSourcePath(argc > 2 ? argv[2] : "");
        QTimer::singleShot(0, &window, &MainWizardWindow::OnNext);
        window.exec();
        page = window.TabControl()->CurrentIndex();
    }
    std::printf("page %d\n", page);
    StringTable::Release();
    return ExitSignals::ExitStatus(0);
}
