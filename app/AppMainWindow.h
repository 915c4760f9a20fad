#pragma once

class QWidget;

// The program's main window, for windows that must belong to it without being handed it (the
// progress window, message boxes). Null before the main window exists and after it is gone.
QWidget* AppMainWindow();
void SetAppMainWindow(QWidget* window);
