#include "StepPage.h"

#include "MainWizardWindow.h"
#include "StringTable.h"

#include <QLabel>
#include <QVBoxLayout>

StepPage::StepPage(const StepTexts& texts, QWidget* parent)
    : WizardPage(parent), m_texts(texts), m_description(new QLabel(this)) {
    m_description->setObjectName("description");
    m_description->setTextFormat(Qt::PlainText);
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(m_description);
    layout->addStretch();
}

void StepPage::OnActivate(int /*previous*/) {
    StringTable& strings = StringTable::Instance();
    m_description->setText(QString::fromStdString(strings.Lookup(m_texts.descriptionId)));
    const bool hasPrevious = m_texts.previousTextId != nullptr;
    ShowWizardButton(1, hasPrevious);
    if (hasPrevious) {
        SetWizardButtonText(1, strings.Lookup(m_texts.previousTextId));
    }
    ShowWizardButton(0, true);
    SetWizardButtonText(0, strings.Lookup(m_texts.nextTextId));
}
