#include "AppMainWindow.h"

#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget>& MainWindowPointer() {
    static QPointer<QWidget> window;
    return window;
}

} // namespace

QWidget* AppMainWindow() {
    return MainWindowPointer().data();
}

void SetAppMainWindow(QWidget* window) {
    MainWindowPointer() = window;
}
