#pragma once

#include "WizardPage.h"

class QPlainTextEdit;
class QPushButton;

// The last step: says where the ringtone was written, and opens its folder on request. From
// here the user goes back to the edit page or starts a new ringtone.
class SavePage : public WizardPage {
    Q_OBJECT

public:
    explicit SavePage(QWidget* parent = nullptr);

    void OnActivate(int previous) override;
    bool CanLeave(int target) override;

    // Asks the desktop's file manager to show the folder the ringtone was written to.
    void OpenFolder();

private:
    QPlainTextEdit* m_result;
    QPushButton* m_openFolder;
};
