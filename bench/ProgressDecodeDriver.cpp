// Decodes SOURCE into OUT_WAV as the window program does: behind the real progress window, with
// the wizard as the main window it disables. bench/progress_bench.sh times it against
// `orvanta-cli decode` of the same source on Qt's offscreen platform.
//
//     orvanta_progress_decode STRINGS_XML SOURCE OUT_WAV
#include "ConversionEngine.h"
#include "DialogProgressSteps.h"
#include "DriverStart.h"
#include "MainWizardWindow.h"
#include "ProgramPages.h"
#include "ProgressSteps.h"
#include "StringTable.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (const int status = StartDriver(argc, argv, 3, 3, "STRINGS_XML SOURCE OUT_WAV");
        status != 0) {
        return status;
    }
    bool decoded = false;
    int cancelled = 0;
    {
        MainWizardWindow window(MakeProgramPages());
        window.show();
        DialogProgressSteps progress;
        const orvanta::ScopedProgressSteps installed(progress);
        const ProgressWindowScope scope;
        orvanta::ConversionEngine engine;
        decoded = engine.Open() && engine.DecodeToWav(argv[2], argv[3], cancelled);
    }
    StringTable::Release();
    if (!decoded || cancelled != 0) {
        std::fprintf(stderr, "the decode of %s %s\n", argv[2],
                     decoded ? "was cancelled" : "failed");
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
