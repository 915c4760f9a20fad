#pragma once

// CMiscFunc has results of the same names inside its class; read first, they are not taken for
// shadowing the ones below wherever both headers are included.
#include "pxmisc/CMiscFunc.h"

#include <functional>
#include <string>

class QWidget;

// Every message the program shows goes through here: the looked-up text as it stands (never a
// format, never markup), the application's name as the title, on top and in front.
enum class MessageButtons { Ok, YesNo };

// The button that closed the box, with the values callers of the old message boxes expect.
enum MessageResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Answers boxes instead of a person. Tests install one so that no box ever blocks; with none
// installed a real box is shown.
using MessageResponder = std::function<int(const std::string& text, MessageButtons buttons)>;

void SetMessageResponder(MessageResponder responder);

int ShowMessage(QWidget* parent, const std::string& text, MessageButtons buttons);
