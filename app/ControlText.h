#pragma once

#include <QString>
#include <string>

// A looked-up text for a button, label, tab or menu item. An "&" before a letter or digit marks
// the control's shortcut key, as the language file writes it; "&&" and any other "&" (as in
// "Rock & Roll") show as an ampersand.
QString ControlText(const std::string& text);
// The same text as a screen reader or a title bar says it: without the shortcut mark.
QString PlainText(const std::string& text);
