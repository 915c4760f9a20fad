// Imports SOURCE as the import page's Next does: the decode and the peak file behind the real
// progress window, the wizard with the program's own pages as the main window it disables.
// bench/import_bench.sh times it against `orvanta-cli decode` and `orvanta-cli peaks` of the same
// source on Qt's offscreen platform. With KEEP_FOLDER the working WAV and the peak file are
// copied there (as work.wav and work.wfp) before the window takes them away.
//
//     orvanta_import_page STRINGS_XML SOURCE [KEEP_FOLDER]
#include "DialogProgressSteps.h"
#include "DriverStart.h"
#include "ImportPage.h"
#include "MainWizardWindow.h"
#include "PageIndex.h"
#include "ProgramPages.h"
#include "ProgressSteps.h"
#include "StringTable.h"
#include "WizardTabControl.h"
#include "WorkFiles.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

bool Keep(const orvanta::WorkFiles& files, const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::copy_file(files.workingWavPath, folder / "work.wav",
                               std::filesystem::copy_options::overwrite_existing, error);
    if (!error) {
        std::filesystem::copy_file(files.peakFilePath, folder / "work.wfp",
                                   std::filesystem::copy_options::overwrite_existing, error);
    }
    return !error;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (const int status = StartDriver(argc, argv, 2, 3, "STRINGS_XML SOURCE [KEEP_FOLDER]");
        status != 0) {
        return status;
    }
    bool imported = false;
    {
        DialogProgressSteps progress;
        const orvanta::ScopedProgressSteps installed(progress);
        MainWizardWindow window(MakeProgramPages());
        window.show();
        auto* page = qobject_cast<ImportPage*>(window.TabControl()->Page(kImportPageIndex));
        page->SetSourcePath(QString::fromLocal8Bit(argv[2]));
        imported = page->CanLeave(kEditPageIndex) &&
                   (argc == 3 || Keep(orvanta::CurrentWorkFiles(), argv[3]));
    }
    StringTable::Release();
    if (!imported) {
        std::fprintf(stderr, "the import of %s failed\n", argv[2]);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
