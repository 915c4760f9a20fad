// Shows the wave editor on a real song the way the edit page will and saves what the screen
// shows: the whole song at the fit zoom, then zoomed in, each with a selection and the play
// cursor. tools/screenshots.sh runs it under a virtual display; the pictures are for people.
//
//     orvanta_editor_screenshot_driver WORK_WAV PEAK_FILE OUTPUT_FOLDER
#include "WaveEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

namespace {

// The editor's size on the edit page: the width of the description above it, 146 pixels high.
constexpr int kEditorWidth = 651;
constexpr int kEditorHeight = 146;
constexpr int kMargin = 10;
constexpr int kZoomInSteps = 3;

// Lets the display server draw what was just shown before the screen is read.
void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 400) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

bool SaveWindow(const QString& path, const QWidget& window) {
    Settle();
    const QRect area = window.frameGeometry();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                      area.width(), area.height());
    const bool saved = shot.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// A mouse move as the user makes it, so the marker strip shows where the pointer is.
void HoverAt(WaveEditor& editor, int x) {
    const QPointF local(x, kEditorHeight / 2);
    QMouseEvent move(QEvent::MouseMove, local, editor.mapToGlobal(local), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &move);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s WORK_WAV PEAK_FILE OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("Orvanta wave editor"));
    window.setFixedSize(kEditorWidth + 2 * kMargin, kEditorHeight + 2 * kMargin);
    WaveEditor editor(&window);
    editor.setGeometry(kMargin, kMargin, kEditorWidth, kEditorHeight);
    window.move(20, 20);
    window.show();
    if (editor.Load(argv[1], argv[2]) != 1) {
        std::fprintf(stderr, "cannot show %s with %s\n", argv[1], argv[2]);
        return EXIT_FAILURE;
    }
    const QString folder = QString::fromLocal8Bit(argv[3]) + "/";
    editor.SetSelection(12000, 32000);
    editor.SetPlayCursor(20000);
    bool saved = SaveWindow(folder + "editor_fit.png", window);

    for (int step = 0; step < kZoomInSteps; ++step) {
        editor.ZoomIn();
    }
    editor.SetScroll(editor.ScrollPosition());
    editor.SetPlayCursor(20000);
    HoverAt(editor, kEditorWidth / 3);
    saved = SaveWindow(folder + "editor_zoomed.png", window) && saved;
    return saved ? EXIT_SUCCESS : EXIT_FAILURE;
}
