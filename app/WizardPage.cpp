#include "WizardPage.h"

#include <QKeyEvent>

WizardPage::WizardPage(QWidget* parent) : QWidget(parent) {}

bool WizardPage::CanLeave(int /*target*/) {
    return true;
}

void WizardPage::OnActivate(int /*previous*/) {}

void WizardPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
