#include "MessageBox.h"

#include "StringTable.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QUrl>

namespace {

DetailedMessageResponder& InstalledResponder() {
    static DetailedMessageResponder responder;
    return responder;
}

SavePathChooser& InstalledChooser() {
    static SavePathChooser chooser;
    return chooser;
}

UrlOpener& InstalledOpener() {
    static UrlOpener opener;
    return opener;
}

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Question:
        return QMessageBox::Question;
    case MessageKind::Information:
        break;
    }
    return QMessageBox::Information;
}

// The detail shows without an extra click, and, like the text, never as markup.
void SetDetail(QMessageBox& box, const std::string& detail) {
    if (detail.empty()) {
        return;
    }
    box.setInformativeText(QString::fromStdString(detail));
    if (auto* label = box.findChild<QLabel*>("qt_msgbox_informativelabel")) {
        label->setTextFormat(Qt::PlainText);
    }
}

int ShowRealBox(QWidget* parent, const Message& message) {
    QMessageBox box(parent);
    box.setWindowTitle(QApplication::applicationDisplayName());
    // A translation may hold "<" or "&": it is shown as written, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(message.text));
    SetDetail(box, message.detail);
    box.setIcon(IconOf(message.kind));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (message.buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.show();
    box.raise();
    box.activateWindow();
    const int pressed = box.exec();
    if (message.buttons == MessageButtons::YesNo) {
        return pressed == QMessageBox::Yes ? IDYES : IDNO;
    }
    return IDOK;
}

} // namespace

void SetMessageResponder(MessageResponder responder) {
    if (!responder) {
        InstalledResponder() = {};
        return;
    }
    InstalledResponder() = [responder = std::move(responder)](const Message& message) {
        return responder(message.text, message.buttons);
    };
}

void SetDetailedMessageResponder(DetailedMessageResponder responder) {
    InstalledResponder() = std::move(responder);
}

int ShowMessage(QWidget* parent, const Message& message) {
    if (InstalledResponder()) {
        return InstalledResponder()(message);
    }
    return ShowRealBox(parent, message);
}

int ShowMessage(QWidget* parent, const std::string& text, MessageButtons buttons) {
    const MessageKind kind =
        buttons == MessageButtons::YesNo ? MessageKind::Question : MessageKind::Information;
    return ShowMessage(parent, Message{text, kind, buttons});
}

void SetSavePathChooser(SavePathChooser chooser) {
    InstalledChooser() = std::move(chooser);
}

std::string ChooseSavePath(QWidget* parent, const std::string& title,
                           const std::string& proposedPath) {
    if (InstalledChooser()) {
        return InstalledChooser()(proposedPath);
    }
    // The dialog asks before it lets the user pick a file that exists.
    return QFileDialog::getSaveFileName(parent, QString::fromStdString(title),
                                        QString::fromStdString(proposedPath),
                                        QStringLiteral("MP3 (*.mp3)"))
        .toStdString();
}

void SetUrlOpener(UrlOpener opener) {
    InstalledOpener() = std::move(opener);
}

bool OpenOnDesktop(QWidget* parent, const QUrl& url) {
    const bool opened = InstalledOpener() ? InstalledOpener()(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        ShowMessage(parent, Message{StringTable::Instance().Lookup("ide_cannot_open_on_desktop"),
                                    MessageKind::Warning, MessageButtons::Ok,
                                    url.toDisplayString(QUrl::PreferLocalFile).toStdString()});
    }
    return opened;
}
