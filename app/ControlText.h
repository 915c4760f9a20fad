#pragma once

#include <QString>
#include <string>

// A looked-up text for a button, tab or menu item, shown as written: Qt would take an "&" in a
// translation for a shortcut mark and hide it.
QString ControlText(const std::string& text);
