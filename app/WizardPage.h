#pragma once

#include <QWidget>

// One page of the wizard. The frame asks the page before leaving it and tells it when it has been
// shown; everything else is the page's own business.
class WizardPage : public QWidget {
    Q_OBJECT

public:
    explicit WizardPage(QWidget* parent = nullptr);

    // Whether the wizard may go on to tab `target`; a page that refuses says why itself. This is
    // where a page runs its long work before the next page is shown.
    virtual bool CanLeave(int target);
    // The page has become the current one; `previous` is the tab that was current before.
    virtual void OnActivate(int previous);

protected:
    // Escape neither closes nor resets a page; Enter outside a text box presses the default
    // button.
    void keyPressEvent(QKeyEvent* event) override;
};
