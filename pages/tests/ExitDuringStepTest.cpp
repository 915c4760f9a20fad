// Leaving the program while a long step runs: the close question comes first and No loses
// nothing; a stop signal ends the program without asking and leaves no working files.
#include "ImportPage.h"
#include "PageFixture.h"
#include "ProgressDialog.h"
#include "WorkFiles.h"

#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class ExitDuringStepTest : public ::testing::Test, public PageFixture {};

TEST_F(ExitDuringStepTest, ClosingDuringAnImportAsksFirstAndOnlyYesStopsIt) {
    struct Row {
        int answer;
        int page;   // where the wizard stands once the import is over
        bool quits; // the window has closed
    };
    const Row rows[] = {{IDNO, 1, false}, {IDYES, 0, true}};
    for (const Row& row : rows) {
        Open();
        qobject_cast<ImportPage*>(window->TabControl()->Page(0))
            ->SetSourcePath(QString::fromStdString(MakeSong("song.wav", 5)));
        bool requested = false;
        progress.beforeStep = [&](HookedProgressSteps::Phase) {
            if (!requested) {
                requested = true;
                QTimer::singleShot(0, window.get(), [&] { window->windowHandle()->close(); });
            }
        };
        std::vector<bool> askedWhileRunning;
        SetMessageResponder([&](const std::string& text, MessageButtons buttons) {
            EXPECT_EQ(text, Text("idd_confirm_exit"));
            EXPECT_EQ(buttons, MessageButtons::YesNo);
            const ProgressDialog* step = CurrentProgressDialog();
            askedWhileRunning.push_back(step != nullptr && !step->IsCancelled());
            return row.answer;
        });
        Next();
        FailOnUnexpectedMessages();
        EXPECT_EQ(askedWhileRunning, std::vector<bool>{true}) << row.answer;
        EXPECT_EQ(Current(), row.page) << row.answer;
        EXPECT_EQ(QTest::qWaitFor([&] { return !window->isVisible(); }, 1000), row.quits)
            << row.answer;
        window.reset();
        EXPECT_TRUE(TempEntries().empty()) << row.answer;
        orvanta::CurrentWorkFiles() = {};
    }
}

TEST_F(ExitDuringStepTest, AStopSignalDuringAnImportEndsTheProgramAndLeavesNoFolder) {
    const std::string song = MakeSong("long song.wav", 30);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess driver;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // Qt would make its runtime folder in the temporary folder this test watches.
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.Path("")));
        driver.setProcessEnvironment(environment);
        driver.start(ORVANTA_EXIT_DRIVER, {ORVANTA_STRINGS_XML, QString::fromStdString(song)});
        ASSERT_TRUE(QTest::qWaitFor([&] { return driver.canReadLine(); }, 60000)) << signal;
        EXPECT_EQ(driver.readLine().trimmed(), "importing");
        ASSERT_FALSE(TempEntries().empty());
        ::kill(static_cast<pid_t>(driver.processId()), signal);
        ASSERT_TRUE(driver.waitForFinished(30000)) << signal;
        EXPECT_EQ(driver.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(driver.exitCode(), 128 + signal) << signal;
        // Still on the import page: the import was stopped, not finished.
        EXPECT_EQ(driver.readAllStandardOutput().trimmed(), "page 0") << signal;
        EXPECT_EQ(TempEntries(), std::vector<std::string>{}) << signal;
    }
}

} // namespace
