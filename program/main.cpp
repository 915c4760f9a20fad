// The one place that assembles the program: the progress window for the engine's long steps, and
// the main wizard window with the program's own pages for the start-up to show.
#include "Application.h"
#include "DialogProgressSteps.h"
#include "ImportPage.h"
#include "MainWizardWindow.h"
#include "PrivateTempFolder.h"
#include "ProgramExit.h"
#include "ProgramPages.h"
#include "ProgressSteps.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const ExitSignals exitSignals;
    // What earlier runs that were killed or crashed left in the temporary folder.
    orvanta::PrivateTempFolder::RemoveAbandoned();
    DialogProgressSteps progress;
    const orvanta::ScopedProgressSteps installed(progress);
    // A song named at the start, or handed over by a later start, is loaded by the import page.
    ImportPage* importPage = nullptr;
    const int status = Application::Start(
        [&importPage] {
            WizardPages pages = MakeProgramPages();
            importPage = static_cast<ImportPage*>(pages.importPage.get());
            return std::make_unique<MainWizardWindow>(std::move(pages));
        },
        [&importPage](const QString& path) { importPage->OpenFile(path); });
    Application::Exit();
    return ExitSignals::ExitStatus(status);
}
