#include "WizardPage.h"

#include <QKeyEvent>
#include <QLineEdit>

WizardPage::WizardPage(QWidget* parent) : QWidget(parent) {}

bool WizardPage::CanLeave(int /*target*/) {
    return true;
}

void WizardPage::OnActivate(int /*previous*/) {}

void WizardPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A text box takes Enter as "this value is done"; anywhere else Enter goes on to the
        // window's default button, the page's next step.
        if (qobject_cast<QLineEdit*>(focusWidget()) == nullptr) {
            event->ignore();
            return;
        }
        event->accept();
        return;
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
