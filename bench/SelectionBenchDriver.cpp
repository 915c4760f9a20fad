// Times the edit page's precise selection on one working WAV and its peak file: an arrow key's
// nudge of the band until the waveform is painted again (at the fit zoom and at 128 frames a
// column), a time typed into the Start field until the band is painted where it says (with
// zero-crossing snapping off and on), and the zero-crossing search for one end of a cut. Each
// figure is the median of RUNS runs against its fixed target; bench/selection_bench.sh runs it
// on an hour of music. A missed target is reported, not an error.
//
//     orvanta_selection_bench STRINGS_XML WORK_WAV PEAK_FILE RUNS
#include "BenchTiming.h"
#include "DriverStart.h"
#include "EditPage.h"
#include "PageIndex.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WaveEditor.h"
#include "WorkFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using bench::MedianMs;
using bench::Report;

// The view is never shown: it paints into an image of its own, so nothing else paints it.
void Paint(WaveEditor& editor) {
    static QImage target(editor.size(), QImage::Format_ARGB32_Premultiplied);
    editor.render(&target);
}

// One arrow key, alternately right and left, moves the band; then the view paints.
double NudgeMs(WaveEditor& editor, int runs) {
    int key = Qt::Key_Right;
    return MedianMs(
        runs, [&](int i) { key = i % 2 == 0 ? Qt::Key_Right : Qt::Key_Left; },
        [&] {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&editor, &press);
            Paint(editor);
        });
}

// A start typed in the middle of the hour and confirmed; then the view paints the band.
double TypedMs(QLineEdit& start, WaveEditor& editor, int runs) {
    const char* const times[] = {"30:00.000", "30:00.500"};
    return MedianMs(
        runs, [&](int i) { start.setText(times[i % 2]); },
        [&] {
            emit start.editingFinished();
            Paint(editor);
        });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (const int status = StartDriver(argc, argv, 4, 4, "STRINGS_XML WORK_WAV PEAK_FILE RUNS");
        status != 0) {
        return status;
    }
    const int runs = std::max(std::atoi(argv[4]), 1);
    orvanta::CurrentWorkFiles().workingWavPath = argv[2];
    orvanta::CurrentWorkFiles().peakFilePath = argv[3];
    bool met = true;
    {
        EditPage page;
        page.resize(700, 420);
        page.OnActivate(kImportPageIndex);
        WaveEditor& editor = *page.Editor();
        auto* start = page.findChild<QLineEdit*>("selectionStart");
        auto* snap = page.findChild<QCheckBox*>("snap");
        std::printf("hour: %d ms, fit zoom %d frames per column\n", editor.Model().DurationMs(),
                    editor.Model().FitZoom());
        page.OnSelectionTyped(1800000, 1820000);
        met = Report("key nudge to repaint, fit zoom", NudgeMs(editor, runs), 5.0) && met;
        while (editor.Model().Zoom() > WaveModel::kFinestZoom) {
            editor.ZoomIn();
        }
        met =
            Report("key nudge to repaint, 128 frames a column", NudgeMs(editor, runs), 5.0) && met;
        snap->setChecked(false);
        met = Report("typed Start to band", TypedMs(*start, editor, runs), 5.0) && met;
        snap->setChecked(true);
        met = Report("typed Start to band, snapping", TypedMs(*start, editor, runs), 5.0) && met;
        const auto snapped =
            orvanta::WavProcessor().SnapCutToZeroCrossings(argv[2], 1800000, 1820000);
        if (!snapped) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return EXIT_FAILURE;
        }
        std::printf("1800000 .. 1820000 ms snapped to frames %u .. %u (unsnapped %u .. %u)\n",
                    snapped->start, snapped->end, 1800u * 44100u, 1820u * 44100u);
        const double bothEnds = MedianMs(
            runs, [](int) {},
            [&] { orvanta::WavProcessor().SnapCutToZeroCrossings(argv[2], 1800000, 1820000); });
        met = Report("zero-crossing search, one end", bothEnds / 2, 1.0) && met;
    }
    StringTable::Release();
    std::printf("all targets %s\n", met ? "met" : "NOT met");
    return EXIT_SUCCESS;
}
