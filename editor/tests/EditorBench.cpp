// Times the wave editor on one working WAV and its peak file: building the per-column extremes at
// the fit zoom and at the finest zoom, one full paint of the edit page's 651 x 146 view at both
// zooms, and one step of a band drag (the feedback only), each as the median of RUNS runs; and
// the memory the peak values and the extremes take against the peak file's size.
// bench/editor_bench.sh runs it on an hour of music. A missed target is reported, not an error.
//
//     orvanta_editor_bench WORK_WAV PEAK_FILE RUNS
#include "BenchTiming.h"
#include "WaveEditor.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

using bench::MedianMs;
using bench::Report;

constexpr int kWidth = 651;
constexpr int kHeight = 146;

void SendMouse(WaveEditor& editor, QEvent::Type type, int x) {
    const QPointF local(x, kHeight / 2);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, editor.mapToGlobal(local), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&editor, &event);
}

void ZoomToFinest(WaveEditor& editor) {
    while (editor.Model().Zoom() > WaveModel::kFinestZoom) {
        editor.ZoomIn();
    }
}

// Rebuilding the extremes as a gain change does, at the model's current zoom.
double CacheMs(WaveModel& model, const WaveLanes& lanes, int runs) {
    return MedianMs(
        runs, [&](int) { model.SetGain(1.0f); }, [&] { model.BuildPoints(lanes); });
}

// The view paints into an image of its own: it is never shown, so nothing else paints it.
void Paint(WaveEditor& editor) {
    static QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    editor.render(&target);
}

// After a scroll the whole view is painted again from the cached extremes, ruler included.
double PaintMs(WaveEditor& editor, int runs) {
    int position = 0;
    return MedianMs(
        runs,
        [&](int) {
            position = position == 0 ? 1 : 0;
            editor.SetScroll(position);
        },
        [&] { Paint(editor); });
}

// The pointer moves a band: the view shows it from its cached picture.
double DragStepMs(WaveEditor& editor, int runs) {
    editor.SetScroll(0);
    editor.SetSelection(0, 20000);
    Paint(editor);
    const QRect band = editor.Model().GetSelectionRect(editor.rect());
    const int grip = band.x() + band.width() / 2;
    SendMouse(editor, QEvent::MouseMove, grip);
    SendMouse(editor, QEvent::MouseButtonPress, grip);
    int x = grip;
    const double ms = MedianMs(
        runs, [&](int) { x = x == grip ? grip + 7 : grip; },
        [&] {
            SendMouse(editor, QEvent::MouseMove, x);
            Paint(editor);
        });
    SendMouse(editor, QEvent::MouseButtonRelease, grip);
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (argc != 4 || std::atoi(argv[3]) < 1) {
        std::fprintf(stderr, "usage: %s WORK_WAV PEAK_FILE RUNS\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[3]);
    WaveEditor editor;
    editor.resize(kWidth, kHeight);
    if (editor.Load(argv[1], argv[2]) != 1) {
        std::fprintf(stderr, "cannot load %s with %s\n", argv[1], argv[2]);
        return EXIT_FAILURE;
    }
    WaveModel model; // a model of its own, so the editor's cache stays as it is
    model.Load(argv[1], argv[2]);
    const WaveLanes lanes = editor.Lanes();
    std::printf("fit zoom %d frames per column, %d columns\n", model.FitZoom(),
                model.TotalColumns());

    bool met = Report("extremes at the fit zoom", CacheMs(model, lanes, runs), 20.0);
    met = Report("paint at the fit zoom", PaintMs(editor, runs), 5.0) && met;
    ZoomToFinest(editor);
    while (model.Zoom() > WaveModel::kFinestZoom) {
        model.ZoomIn(kWidth);
    }
    std::printf("extremes at 128 frames per column (no target): median %.3f ms\n",
                CacheMs(model, lanes, runs));
    met = Report("paint at 128 frames per column", PaintMs(editor, runs), 5.0) && met;
    met = Report("drag step", DragStepMs(editor, runs), 2.0) && met;

    const auto fileBytes = static_cast<double>(std::filesystem::file_size(argv[2]));
    const double ratio = static_cast<double>(model.MemoryBytes()) / fileBytes;
    std::printf("memory: %zu bytes of peak values and extremes at 128 frames per column, "
                "%.3f x the peak file (target < 4): %s\n",
                model.MemoryBytes(), ratio, ratio < 4.0 ? "target met" : "target missed");
    std::printf("all targets %s\n", met && ratio < 4.0 ? "met" : "NOT met");
    return EXIT_SUCCESS;
}
