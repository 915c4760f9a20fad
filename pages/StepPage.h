#pragma once

#include "WizardPage.h"

class QLabel;

// A wizard step that, when it becomes current, shows its description and sets the wizard's
// buttons the way its step wants them. Identifiers name texts of the language file.
struct StepTexts {
    const char* descriptionId;
    const char* previousTextId; // nullptr: the step has no Previous button
    const char* nextTextId;
};

class StepPage : public WizardPage {
    Q_OBJECT

public:
    explicit StepPage(const StepTexts& texts, QWidget* parent = nullptr);

    void OnActivate(int previous) override;

private:
    StepTexts m_texts;
    QLabel* m_description;
};
