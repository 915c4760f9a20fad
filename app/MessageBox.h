#pragma once

// CMiscFunc has results of the same names inside its class; read first, they are not taken for
// shadowing the ones below wherever both headers are included.
#include "pxmisc/CMiscFunc.h"

#include <functional>
#include <string>
#include <utility>

class QUrl;
class QWidget;

// Every message the program shows goes through here: the looked-up text as it stands (never a
// format, never markup), the application's name as the title, on top and in front.
enum class MessageButtons { Ok, YesNo };

// What a message is about; the box shows the icon of its kind.
enum class MessageKind { Error, Warning, Question, Information };

// The button that closed the box, with the values callers of the old message boxes expect.
enum MessageResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct Message {
    Message(std::string text_, MessageKind kind_, MessageButtons buttons_ = MessageButtons::Ok,
            std::string detail_ = {})
        : text(std::move(text_)), kind(kind_), buttons(buttons_), detail(std::move(detail_)) {}

    std::string text;
    MessageKind kind;
    MessageButtons buttons;
    // Why it happened, when the program knows: shown under the text, as written.
    std::string detail;
};

// Answers boxes instead of a person. Tests install one so that no box ever blocks; with none
// installed a real box is shown. The short form sees only the text and the buttons.
using MessageResponder = std::function<int(const std::string& text, MessageButtons buttons)>;
using DetailedMessageResponder = std::function<int(const Message& message)>;

void SetMessageResponder(MessageResponder responder);
void SetDetailedMessageResponder(DetailedMessageResponder responder);

int ShowMessage(QWidget* parent, const Message& message);
// A question for Yes/No, else information.
int ShowMessage(QWidget* parent, const std::string& text, MessageButtons buttons);

// Asks where to save an MP3, starting from `proposedPath`; empty when the user cancels. Tests
// install a chooser so that no dialog blocks; with none installed the file dialog is shown.
using SavePathChooser = std::function<std::string(const std::string& proposedPath)>;

void SetSavePathChooser(SavePathChooser chooser);
std::string ChooseSavePath(QWidget* parent, const std::string& title,
                           const std::string& proposedPath);

// Hands an address to the desktop; true when it took it. Tests install one that records.
using UrlOpener = std::function<bool(const QUrl& url)>;

void SetUrlOpener(UrlOpener opener);
// Opens `url` on the desktop; when the desktop cannot, says so and returns false.
bool OpenOnDesktop(QWidget* parent, const QUrl& url);
