// The window-system helpers of CMiscFunc, kept apart from its plain functions so the latter
// need nothing of Qt Widgets.
#include "pxmisc/CMiscFunc.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace {

QMessageBox::StandardButtons ButtonsOf(uint32_t style) {
    switch (style & 0xF) {
    case CMiscFunc::MB_OKCANCEL:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case CMiscFunc::MB_YESNOCANCEL:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case CMiscFunc::MB_YESNO:
        return QMessageBox::Yes | QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(uint32_t style) {
    switch (style & 0xF0) {
    case CMiscFunc::MB_ICONERROR:
        return QMessageBox::Critical;
    case CMiscFunc::MB_ICONQUESTION:
        return QMessageBox::Question;
    case CMiscFunc::MB_ICONWARNING:
        return QMessageBox::Warning;
    case CMiscFunc::MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int ResultOf(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return CMiscFunc::IDOK;
    case QMessageBox::Yes:
        return CMiscFunc::IDYES;
    case QMessageBox::No:
        return CMiscFunc::IDNO;
    default:
        return CMiscFunc::IDCANCEL;
    }
}

int HeldBit(Qt::KeyboardModifier key) {
    return (QGuiApplication::keyboardModifiers() & key) != 0 ? 0x8000 : 0;
}

bool& CursorHidden() {
    static bool hidden = false;
    return hidden;
}

} // namespace

QRect CMiscFunc::GetClientRect(const QWidget* window) {
    return window != nullptr ? window->rect() : QRect();
}

QRect CMiscFunc::GetWindowRect(const QWidget* window) {
    return window != nullptr ? window->frameGeometry() : QRect();
}

int CMiscFunc::ResMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                             const std::string& detail, uint32_t style) {
    const std::string message = detail.empty() ? text : text + "\n\n " + detail;
    QMessageBox box(IconOf(style), QString::fromStdString(caption), QString::fromStdString(message),
                    ButtonsOf(style), parent);
    return ResultOf(box.exec());
}

int CMiscFunc::ComboBox_Index2Data(int index, const QComboBox* box) {
    if (box == nullptr || index < 0 || index >= box->count()) {
        return -1;
    }
    return box->itemData(index).toInt();
}

int CMiscFunc::ComboBox_Data2Index(int data, const QComboBox* box) {
    return box != nullptr ? box->findData(data) : -1;
}

bool CMiscFunc::BrowseFolder(QWidget* owner, std::string& folder, const std::string& title) {
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString::fromStdString(title),
                                                             QString::fromStdString(folder),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return false;
    }
    folder = chosen.toStdString();
    if (folder.back() != '/') {
        folder += '/';
    }
    return true;
}

int CMiscFunc::CtrlHold() {
    return HeldBit(Qt::ControlModifier);
}

int CMiscFunc::ShiftHold() {
    return HeldBit(Qt::ShiftModifier);
}

int CMiscFunc::AltHold() {
    return HeldBit(Qt::AltModifier);
}

void CMiscFunc::ShowCursor(bool show) {
    bool& hidden = CursorHidden();
    if (show && hidden) {
        QApplication::restoreOverrideCursor();
        hidden = false;
    } else if (!show && !hidden) {
        QApplication::setOverrideCursor(Qt::BlankCursor);
        hidden = true;
    }
}
