#include "SavePage.h"

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
    const std::string description = strings.Lookup("idd_saving_description");
    m_result->setPlainText(
        QString::fromStdString(description + "\n\n" + orvanta::CurrentWorkFiles().ringtoneMp3Path));
    m_result->setAccessibleName(QString::fromStdString(description));
    m_openFolder->setText(QString::fromStdString(strings.Lookup("idc_open_folder")));
    m_openFolder->setAccessibleName(m_openFolder->text());
}

bool SavePage::CanLeave(int target) {
    return target == kImportPageIndex || target == kEditPageIndex;
}

void SavePage::OpenFolder() {
    // A source typed without a folder gives an MP3 path relative to the current folder.
    const QFileInfo mp3(QString::fromStdString(orvanta::CurrentWorkFiles().ringtoneMp3Path));
    OpenOnDesktop(this, QUrl::fromLocalFile(mp3.absolutePath()));
}
