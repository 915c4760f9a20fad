// The timers need a Qt event loop and the window helpers a widget application, so the tests run
// inside a QApplication on the offscreen platform: no display is needed. The single-instance
// sockets and locks go to a private runtime folder of this run's own.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Made with mode 700, as a runtime folder must be.
    const QTemporaryDir runtime;
    if (!runtime.isValid()) {
        return EXIT_FAILURE;
    }
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
