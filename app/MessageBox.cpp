#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {

MessageResponder& InstalledResponder() {
    static MessageResponder responder;
    return responder;
}

int ShowRealBox(QWidget* parent, const std::string& text, MessageButtons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(QApplication::applicationDisplayName());
    // A translation may hold "<" or "&": it is shown as written, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (buttons == MessageButtons::YesNo) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.show();
    box.raise();
    box.activateWindow();
    const int pressed = box.exec();
    if (buttons == MessageButtons::YesNo) {
        return pressed == QMessageBox::Yes ? IDYES : IDNO;
    }
    return IDOK;
}

} // namespace

void SetMessageResponder(MessageResponder responder) {
    InstalledResponder() = std::move(responder);
}

int ShowMessage(QWidget* parent, const std::string& text, MessageButtons buttons) {
    if (InstalledResponder()) {
        return InstalledResponder()(text, buttons);
    }
    return ShowRealBox(parent, text, buttons);
}
