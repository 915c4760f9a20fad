// The windows need a widget application; they run on the offscreen platform, so no display is
// needed. The settings and the runtime files go to folders of this run's own, never to the
// user's, and a message box nobody expected fails the test instead of waiting for a person.
#include "UiTestSupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir home;
    if (!home.isValid()) {
        return EXIT_FAILURE;
    }
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    // Made with mode 700, as a runtime folder must be.
    const QTemporaryDir runtime;
    if (!runtime.isValid()) {
        return EXIT_FAILURE;
    }
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Orvanta");
    QApplication::setApplicationName("Orvanta");
    FailOnUnexpectedMessages();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
