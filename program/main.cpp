// The one place that assembles the program: the progress window for the engine's long steps, and
// the main wizard window with the program's own pages for the start-up to show.
#include "Application.h"
#include "DialogProgressSteps.h"
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
    const int status =
        Application::Start([] { return std::make_unique<MainWizardWindow>(MakeProgramPages()); });
    Application::Exit();
    return ExitSignals::ExitStatus(status);
}
