#include "SavePage.h"

#include "ControlText.h"
#include "MainWizardWindow.h"
#include "MessageBox.h"
#include "PageIndex.h"
#include "StringTable.h"
#include "WorkFiles.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The MP3 keeps its own description, which names the format.
const char* DescriptionId(orvanta::RingtoneFormat format) {
    return format == orvanta::RingtoneFormat::Mp3 ? "idd_saving_description"
                                                  : "idd_saving_description_format";
}

// How the ringtone gets onto its phone, for the formats that need a word on it.
const char* AdviceId(orvanta::RingtoneFormat format) {
    switch (format) {
    case orvanta::RingtoneFormat::M4r:
        return "idd_saving_advice_m4r";
    case orvanta::RingtoneFormat::Ogg:
        return "idd_saving_advice_ogg";
    default:
        return nullptr;
    }
}

} // namespace

SavePage::SavePage(QWidget* parent)
    : WizardPage(parent), m_result(new QPlainTextEdit(this)), m_openFolder(new QPushButton(this)) {
    m_result->setObjectName("result");
    m_result->setReadOnly(true);
    m_openFolder->setObjectName("openFolder");
    connect(m_openFolder, &QPushButton::clicked, this, &SavePage::OpenFolder);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(m_openFolder);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 11, 10, 11);
    layout->addWidget(m_result, 1);
    layout->addLayout(buttonRow);
}

void SavePage::OnActivate(int /*previous*/) {
    if (qobject_cast<MainWizardWindow*>(window()) == nullptr) {
        return;
    }
    StringTable& strings = StringTable::Instance();
    SetWizardButtonText(1, strings.Lookup("idd_editing"));
    SetWizardButtonText(0, strings.Lookup("idd_new_ringtone"));
    ShowWizardButton(1, true);
    ShowWizardButton(0, true);
    const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    const std::string description = strings.Lookup(DescriptionId(files.ringtoneFormat));
    const char* advice = AdviceId(files.ringtoneFormat);
    m_result->setPlainText(QString::fromStdString(
        description + "\n\n" + orvanta::WrittenRingtonePath(files) +
        (advice != nullptr ? "\n\n" + strings.Lookup(advice) : std::string())));
    m_result->setAccessibleName(QString::fromStdString(description));
    m_openFolder->setText(ControlText(strings.Lookup("idc_open_folder")));
    m_openFolder->setAccessibleName(PlainText(strings.Lookup("idc_open_folder")));
}

bool SavePage::CanLeave(int target) {
    return target == kImportPageIndex || target == kEditPageIndex;
}

void SavePage::OpenFolder() {
    // A source typed without a folder gives a ringtone path relative to the current folder.
    const QFileInfo ringtone(
        QString::fromStdString(orvanta::WrittenRingtonePath(orvanta::CurrentWorkFiles())));
    OpenOnDesktop(this, QUrl::fromLocalFile(ringtone.absolutePath()));
}
