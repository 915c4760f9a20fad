#include "MainWizardWindow.h"

#include "AppProfile.h"
#include "Application.h"
#include "BitmapButton.h"
#include "ProgramExit.h"
#include "RecordingPage.h"
#include "StringTable.h"
#include "UiTestSupport.h"
#include "WizardTabControl.h"
#include "WorkFiles.h"

#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

const char* const kStrings = R"(<?xml version="1.0" encoding="UTF-8"?>
<strings>
  <string strid="idd_production_local_name"><t code="en" lang="English">Ringer</t><t code="fr" lang="Français">Sonneur</t><t code="de" lang="Deutsch">Klingler</t></string>
  <string strid="idd_importing"><t code="en" lang="English">Import</t></string>
  <string strid="idd_editing"><t code="en" lang="English">Edit</t></string>
  <string strid="idd_saving"><t code="en" lang="English">Save</t></string>
  <string strid="idc_help"><t code="en" lang="English">Help</t></string>
  <string strid="idc_page_home"><t code="en" lang="English">Home page</t></string>
  <string strid="idc_page_feedback"><t code="en" lang="English">Contact</t></string>
  <string strid="idc_about"><t code="en" lang="English">About</t></string>
  <string strid="idc_anguage"><t code="en" lang="English">Language</t></string>
  <string strid="idd_confirm_exit"><t code="en" lang="English">Quit now?</t></string>
  <string strid="idd_restart_for_language_changing"><t code="en" lang="English">Restart to see it.</t></string>
  <string strid="idd_importing_description"><t code="en" lang="English">Pick a file.</t></string>
  <string strid="idc_load_file"><t code="en" lang="English">Load</t></string>
  <string strid="idd_editing_description"><t code="en" lang="English">Pick a period.</t></string>
  <string strid="idd_select_source_file"><t code="en" lang="English">Other file</t></string>
  <string strid="idd_generate_ringtone_file"><t code="en" lang="English">Make it</t></string>
  <string strid="idd_saving_description"><t code="en" lang="English">Saved.</t></string>
  <string strid="idd_new_ringtone"><t code="en" lang="English">Another</t></string>
</strings>)";

using Log = std::vector<std::string>;

class MainWizardWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        m_strings = std::make_unique<ScopedStringTable>(kStrings, "en");
        ASSERT_TRUE(m_strings->loaded());
    }

    void TearDown() override {
        m_window.reset();
        Application::SetClosingForUpdate(false);
        orvanta::CurrentWorkFiles() = {};
    }

    // A window over pages that log what the wizard asks of them.
    void OpenWithRecordingPages() {
        auto import = std::make_unique<RecordingPage>("import", m_log);
        auto edit = std::make_unique<RecordingPage>("edit", m_log);
        auto save = std::make_unique<RecordingPage>("save", m_log);
        m_pages = {import.get(), edit.get(), save.get()};
        m_window = std::make_unique<MainWizardWindow>(
            WizardPages{std::move(import), std::move(edit), std::move(save)}, nullptr);
        m_window->show();
        m_log.clear();
    }

    void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    int Current() const { return m_window->TabControl()->CurrentIndex(); }

    QAction* LanguageItem(int index) const { return m_window->LanguageMenu()->actions()[index]; }

    std::unique_ptr<ScopedStringTable> m_strings;
    std::unique_ptr<MainWizardWindow> m_window;
    std::vector<RecordingPage*> m_pages;
    Log m_log;
};

TEST_F(MainWizardWindowTest, PreviousOnTheFirstPageCallsNoPage) {
    OpenWithRecordingPages();
    Click(m_window->PreviousButton());
    EXPECT_EQ(Current(), 0);
    EXPECT_TRUE(m_log.empty());
}

TEST_F(MainWizardWindowTest, NextWalksThePagesAndWrapsFromTheLastToTheFirst) {
    OpenWithRecordingPages();
    Click(m_window->NextButton());
    Click(m_window->NextButton());
    EXPECT_EQ(Current(), 2);
    Click(m_window->NextButton());
    EXPECT_EQ(Current(), 0);
    EXPECT_EQ(m_log, (Log{"import.CanLeave(1)", "edit.OnActivate(0)", "edit.CanLeave(2)",
                          "save.OnActivate(1)", "save.CanLeave(0)", "import.OnActivate(2)"}));
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_FALSE(m_pages[2]->isVisible());
}

TEST_F(MainWizardWindowTest, PreviousGoesBackOnePage) {
    OpenWithRecordingPages();
    m_window->TabControl()->SelectPage(2);
    m_log.clear();
    Click(m_window->PreviousButton());
    EXPECT_EQ(Current(), 1);
    EXPECT_EQ(m_log, (Log{"save.CanLeave(1)", "edit.OnActivate(2)"}));
}

TEST_F(MainWizardWindowTest, APageThatRefusesToBeLeftKeepsTheWizardInPlace) {
    OpenWithRecordingPages();
    m_pages[0]->refuse = true;
    Click(m_window->NextButton());
    EXPECT_EQ(Current(), 0);
    EXPECT_EQ(m_log, (Log{"import.CanLeave(1)"}));
    EXPECT_TRUE(m_pages[0]->isVisible());
}

TEST_F(MainWizardWindowTest, ATabClickNeverChangesThePage) {
    OpenWithRecordingPages();
    QTabBar* tabs = m_window->TabControl()->TabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(Current(), 0);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(m_log.empty());
}

// Escape does nothing; Enter presses the default button, Next, and never closes the window.
TEST_F(MainWizardWindowTest, EscapeDoesNothingAndEnterPressesNext) {
    OpenWithRecordingPages();
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QTest::keyClick(m_pages[0], Qt::Key_Escape);
    EXPECT_TRUE(m_log.empty());
    QTest::keyClick(m_pages[0], Qt::Key_Return);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(Current(), 1);
    EXPECT_EQ(m_log, (Log{"import.CanLeave(1)", "edit.OnActivate(0)"}));
}

TEST_F(MainWizardWindowTest, ClosingAsksOnceAndNoKeepsEverything) {
    OpenWithRecordingPages();
    m_window->TabControl()->SelectPage(1);
    {
        MessageRecorder answers({IDNO});
        m_window->close();
        ASSERT_EQ(answers.shown().size(), 1u);
        EXPECT_EQ(answers.shown()[0].text, "Quit now?");
        EXPECT_EQ(answers.shown()[0].buttons, MessageButtons::YesNo);
    }
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(Current(), 1);
    {
        MessageRecorder answers({IDYES});
        m_window->close();
        EXPECT_EQ(answers.shown().size(), 1u);
    }
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(m_window->result(), QDialog::Accepted);
}

TEST_F(MainWizardWindowTest, AfterAnAcceptedUpdateTheWindowClosesWithoutAsking) {
    OpenWithRecordingPages();
    Application::SetClosingForUpdate(true);
    m_window->close();
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(MainWizardWindowTest, EndingTheProgramAnswersAnOpenQuestionWithNoAndCloses) {
    OpenWithRecordingPages();
    // A real box, as a stop signal finds it: nobody is there to answer it.
    SetMessageResponder(nullptr);
    QTimer::singleShot(0, [] { EndProgramWhenIdle(); });
    EXPECT_EQ(ShowMessage(m_window.get(), "Replace it?", MessageButtons::YesNo), IDNO);
    FailOnUnexpectedMessages();
    QTRY_VERIFY(!m_window->isVisible());
    EXPECT_EQ(m_window->result(), QDialog::Accepted);
}

TEST_F(MainWizardWindowTest, TheLanguageMenuListsCodesInOrderAndChecksTheProfilesLanguage) {
    AppProfile::WriteString("ui", "active_language", "FR");
    OpenWithRecordingPages();
    const QList<QAction*> items = m_window->LanguageMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    const char* const names[] = {"Deutsch", "English", "Français"};
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(items[index]->text().toStdString(), names[index]);
        EXPECT_EQ(items[index]->data().toInt(), 1024 + index);
        EXPECT_EQ(items[index]->isChecked(), index == 2) << names[index];
    }
}

TEST_F(MainWizardWindowTest, ChoosingTheCheckedLanguageAgainStillTellsAndRewritesIt) {
    OpenWithRecordingPages();
    ASSERT_TRUE(LanguageItem(1)->isChecked());
    ASSERT_FALSE(QSettings().contains("ui/active_language"));
    MessageRecorder answers;
    LanguageItem(1)->trigger();
    ASSERT_EQ(answers.shown().size(), 1u);
    EXPECT_EQ(answers.shown()[0].text, "Restart to see it.");
    EXPECT_EQ(answers.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(QSettings().value("ui/active_language").toString(), "en");
    EXPECT_TRUE(LanguageItem(1)->isChecked());
}

TEST_F(MainWizardWindowTest, ChoosingAnotherLanguageMovesTheCheckButKeepsTheTexts) {
    OpenWithRecordingPages();
    MessageRecorder answers;
    LanguageItem(0)->trigger();
    EXPECT_EQ(AppProfile::ActiveLanguage(), "de");
    EXPECT_TRUE(LanguageItem(0)->isChecked());
    EXPECT_FALSE(LanguageItem(1)->isChecked());
    EXPECT_EQ(m_window->windowTitle(), "Ringer");
}

TEST_F(MainWizardWindowTest, TheHelpItemsOpenTwoWebPages) {
    OpenWithRecordingPages();
    UrlCatcher catcher("https");
    const QList<QAction*> items = m_window->HelpMenu()->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->data().toInt(), 1224);
    EXPECT_EQ(items[1]->data().toInt(), 1225);
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->data().toInt(), 16);
    items[0]->trigger();
    items[1]->trigger();
    ASSERT_EQ(catcher.urls.size(), 2u);
    EXPECT_TRUE(catcher.urls[0].isValid());
    EXPECT_NE(catcher.urls[0], catcher.urls[1]);
}

TEST_F(MainWizardWindowTest, TheAboutCommandOpensTheAboutBoxModally) {
    OpenWithRecordingPages();
    // The low four bits of the command do not matter for the about box.
    for (const int command : {16, 16 | 0x7}) {
        QString caption;
        QTimer::singleShot(0, [&caption] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                caption = box->windowTitle();
                box->close();
            }
        });
        m_window->OnSysCommand(command);
        EXPECT_EQ(caption.toStdString(), "About Ringer") << command;
    }
}

// The designed size is the smallest; the window can grow beyond it.
TEST_F(MainWizardWindowTest, TheWindowIsResizableFromItsDesignedSizeAndNamedAfterTheProduct) {
    OpenWithRecordingPages();
    EXPECT_EQ(m_window->minimumSize().width(), 700);
    EXPECT_GT(m_window->maximumSize().width(), 700);
    EXPECT_EQ(m_window->TabControl()->geometry(), QRect(10, 11, 680, 426));
    EXPECT_EQ(m_window->NextButton()->geometry(), QRect(520, 457, 170, 29));
    EXPECT_EQ(m_window->windowTitle(), "Ringer");
    QTabBar* tabs = m_window->TabControl()->TabBar();
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Import");
    EXPECT_EQ(tabs->tabText(2), "Save");
    EXPECT_FALSE(tabs->tabIcon(1).isNull());
}

TEST_F(MainWizardWindowTest, WithoutALanguageFileTheWindowStillOpensWithEmptyTexts) {
    m_strings.reset();
    OpenWithRecordingPages();
    EXPECT_TRUE(m_window->windowTitle().isEmpty());
    EXPECT_TRUE(m_window->LanguageMenu()->actions().isEmpty());
    EXPECT_TRUE(m_window->isVisible());
}

// What Qt shows for a control text: "&&" is a plain "&", a single "&" marks a shortcut.
QString Shown(const QString& controlText) {
    return QString(controlText).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// The language file marks a shortcut with "&" before a letter; "&&" and an "&" before anything
// else are shown as written. Language names are shown as written whatever they hold.
TEST_F(MainWizardWindowTest, AnAmpersandBeforeALetterMarksTheShortcutAnyOtherIsShownAsWritten) {
    m_strings.reset();
    m_strings = std::make_unique<ScopedStringTable>(
        R"(<strings>
             <string strid="idd_importing"><t code="en" lang="R&amp;B">Rock &amp; Roll</t></string>
             <string strid="idc_help"><t code="en" lang="R&amp;B">Q&amp;&amp;A</t></string>
             <string strid="idc_load_file"><t code="en" lang="R&amp;B">&amp;Load &amp; go</t></string>
           </strings>)",
        "en");
    ASSERT_TRUE(m_strings->loaded());
    OpenWithRecordingPages();
    SetWizardButtonText(0, StringTable::Instance().Lookup("idc_load_file"));
    ASSERT_EQ(m_window->LanguageMenu()->actions().size(), 1);
    const QString texts[] = {
        m_window->TabControl()->TabBar()->tabText(0), m_window->HelpMenu()->title(),
        m_window->LanguageMenu()->actions().value(0)->text(), m_window->NextButton()->text()};
    const struct {
        const char* shown;
        const char* shortcut;
    } expected[] = {{"Rock & Roll", ""}, {"Q&A", ""}, {"R&B", ""}, {"Load & go", "Alt+L"}};
    for (int index = 0; index < 4; ++index) {
        EXPECT_EQ(Shown(texts[index]).remove(QRegularExpression("&(?=L)")).toStdString(),
                  expected[index].shown);
        EXPECT_EQ(QKeySequence::mnemonic(texts[index]).toString().toStdString(),
                  expected[index].shortcut);
    }
}

TEST_F(MainWizardWindowTest, DestroyingTheWindowRemovesTheJobsTemporaryFilesButNotTheMp3) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    files = orvanta::DeriveWorkFiles(folder.filePath("song.mp3").toStdString(),
                                     folder.path().toStdString() + "/");
    for (const std::string* path : {&files.sourcePath, &files.workingWavPath, &files.peakFilePath,
                                    &files.ringtoneWavPath, &files.ringtoneMp3Path}) {
        std::ofstream(*path) << "data";
    }
    OpenWithRecordingPages();
    m_window.reset();
    EXPECT_FALSE(std::filesystem::exists(files.workingWavPath));
    EXPECT_FALSE(std::filesystem::exists(files.peakFilePath));
    EXPECT_FALSE(std::filesystem::exists(files.ringtoneWavPath));
    EXPECT_TRUE(std::filesystem::exists(files.ringtoneMp3Path));
    EXPECT_TRUE(std::filesystem::exists(files.sourcePath));
}

} // namespace
