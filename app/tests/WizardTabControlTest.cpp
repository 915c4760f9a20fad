#include "WizardTabControl.h"

#include "RecordingPage.h"
#include "WorkFiles.h"

#include <QLineEdit>
#include <QPointer>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace {

class WizardTabControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_control = std::make_unique<WizardTabControl>();
        m_control->resize(680, 426);
        for (const char* name : {"import", "edit", "save"}) {
            m_pages.push_back(std::make_unique<RecordingPage>(name, m_log));
            m_control->AddPage(name, static_cast<int>(m_pages.size()) - 1, m_pages.back().get(),
                               false);
        }
        m_control->show();
    }

    void TearDown() override { m_control.reset(); }

    std::vector<std::string> m_log;
    std::vector<std::unique_ptr<RecordingPage>> m_pages;
    std::unique_ptr<WizardTabControl> m_control;
};

TEST_F(WizardTabControlTest, OnlyTheFirstPageIsShownAfterAdding) {
    EXPECT_EQ(m_control->PageCount(), 3);
    EXPECT_EQ(m_control->CurrentIndex(), 0);
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_FALSE(m_pages[1]->isVisible());
    EXPECT_FALSE(m_pages[2]->isVisible());
    EXPECT_EQ(m_pages[1]->parentWidget(), m_control.get());
}

TEST_F(WizardTabControlTest, AddingNoPageAddsNoTab) {
    EXPECT_EQ(m_control->AddPage("nothing", 3, nullptr, false), -1);
    EXPECT_EQ(m_control->PageCount(), 3);
    EXPECT_EQ(m_control->TabBar()->count(), 3);
}

TEST_F(WizardTabControlTest, SelectingAsksTheCurrentPageThenActivatesTheNewOne) {
    ASSERT_TRUE(m_control->SelectPage(2));
    EXPECT_EQ(m_log, (std::vector<std::string>{"import.CanLeave(2)", "save.OnActivate(0)"}));
    EXPECT_EQ(m_control->CurrentIndex(), 2);
    EXPECT_EQ(m_control->TabBar()->currentIndex(), 2);
    EXPECT_FALSE(m_pages[0]->isVisible());
    EXPECT_TRUE(m_pages[2]->isVisible());
}

TEST_F(WizardTabControlTest, SelectingTheCurrentOrAMissingTabCallsNoPage) {
    EXPECT_TRUE(m_control->SelectPage(0));
    EXPECT_FALSE(m_control->SelectPage(3));
    EXPECT_FALSE(m_control->SelectPage(-1));
    EXPECT_TRUE(m_log.empty());
    EXPECT_EQ(m_control->CurrentIndex(), 0);
}

TEST_F(WizardTabControlTest, APageThatRefusesKeepsTheWizardWhereItIs) {
    m_pages[0]->refuse = true;
    EXPECT_FALSE(m_control->SelectPage(1));
    EXPECT_EQ(m_log, (std::vector<std::string>{"import.CanLeave(1)"}));
    EXPECT_EQ(m_control->CurrentIndex(), 0);
    EXPECT_EQ(m_control->TabBar()->currentIndex(), 0);
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_FALSE(m_pages[1]->isVisible());
}

TEST_F(WizardTabControlTest, ClicksKeysAndTheWheelOnTheTabsNeverChangeThePage) {
    QTabBar* bar = m_control->TabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    QTest::mouseDClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QTest::keyClick(bar, Qt::Key_Right);
    QTest::keyClick(bar, Qt::Key_Tab, Qt::ControlModifier);
    QWheelEvent wheel(bar->tabRect(1).center(), bar->mapToGlobal(bar->tabRect(1).center()), {},
                      {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &wheel);
    EXPECT_EQ(bar->currentIndex(), 0);
    EXPECT_EQ(m_control->CurrentIndex(), 0);
    EXPECT_TRUE(m_pages[0]->isVisible());
    EXPECT_TRUE(m_log.empty());
}

TEST_F(WizardTabControlTest, PagesFillTheFrameBelowTheTabStrip) {
    const int strip = m_control->TabBar()->sizeHint().height();
    EXPECT_EQ(m_pages[0]->geometry(), QRect(4, strip + 6, 680 - 8, 426 - strip - 8));
    m_control->SelectPage(1);
    EXPECT_EQ(m_pages[1]->geometry(), m_pages[0]->geometry());
}

TEST_F(WizardTabControlTest, ReturningToAPageGivesTheFocusBackToWhereItWas) {
    auto* first = new QLineEdit(m_pages[0].get());
    auto* second = new QLineEdit(m_pages[0].get());
    first->show();
    second->show();
    m_control->activateWindow();
    second->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->hasFocus(); }));
    m_control->SelectPage(1);
    m_control->SelectPage(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return second->hasFocus(); }));
    EXPECT_FALSE(first->hasFocus());
}

// Writes a small file and gives back its path.
std::string Touch(const QTemporaryDir& folder, const char* name) {
    const std::string path = folder.filePath(name).toStdString();
    std::ofstream(path) << "data";
    return path;
}

TEST(WizardTabControlCleanUp, DestroyingRemovesTheTemporaryFilesOnly) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    files.sourcePath = Touch(folder, "song.mp3");
    files.workingWavPath = Touch(folder, "song.wav");
    files.peakFilePath = Touch(folder, "song.wfp");
    files.ringtoneWavPath = Touch(folder, "song_ringtone.wav");
    files.ringtoneMp3Path = Touch(folder, "song_ringtone.mp3");
    std::vector<std::string> log;
    auto kept = std::make_unique<RecordingPage>("kept", log);
    QPointer<RecordingPage> owned = new RecordingPage("owned", log);
    {
        WizardTabControl control;
        control.AddPage("kept", 0, kept.get(), false);
        control.AddPage("owned", 1, owned.data(), true);
    }
    EXPECT_FALSE(std::filesystem::exists(files.workingWavPath));
    EXPECT_FALSE(std::filesystem::exists(files.peakFilePath));
    EXPECT_FALSE(std::filesystem::exists(files.ringtoneWavPath));
    EXPECT_TRUE(std::filesystem::exists(files.sourcePath));
    EXPECT_TRUE(std::filesystem::exists(files.ringtoneMp3Path));
    EXPECT_EQ(kept->parentWidget(), nullptr);
    EXPECT_TRUE(owned.isNull());
    files = {};
}

TEST(WizardTabControlCleanUp, ATemporaryPathThatIsTheSourceLeavesTheSourceAlone) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    files.sourcePath = Touch(folder, "song.wav");
    files.workingWavPath = files.sourcePath;
    files.ringtoneMp3Path = Touch(folder, "song_ringtone.mp3");
    files.ringtoneWavPath = folder.filePath("link.wav").toStdString();
    std::filesystem::create_symlink(files.ringtoneMp3Path, files.ringtoneWavPath);
    { WizardTabControl control; }
    EXPECT_TRUE(std::filesystem::exists(files.sourcePath));
    EXPECT_TRUE(std::filesystem::exists(files.ringtoneMp3Path));
    files = {};
}

} // namespace
