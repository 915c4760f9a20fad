// Start-up of the window program: settings and language, then the wizard over the program's
// own pages until it closes.
#include "Application.h"
#include "DialogProgressSteps.h"
#include "MainWizardWindow.h"
#include "ProgramPages.h"
#include "ProgressSteps.h"
#include "StringTable.h"
#include "pxmisc/CMiscFunc.h"

#include <QApplication>
#include <cstdlib>

namespace {

void RunWizard() {
    DialogProgressSteps progress;
    const orvanta::ScopedProgressSteps installed(progress);
    MainWizardWindow window(MakeProgramPages());
    window.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    Application::RootSettingsAtProduct(CMiscFunc::GetExePathName());
    Application::LoadLanguage(CMiscFunc::GetExePath());
    RunWizard();
    StringTable::Release();
    return EXIT_SUCCESS;
}
