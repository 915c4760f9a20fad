// The program itself, started as a user would: one copy per user and display session.
#include "Application.h"
#include "ProgramFolder.h"
#include "TestSources.h"
#include "UiTestSupport.h"
#include "pxmisc/CInstanceChecker.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using std::chrono::seconds;

// Starting copies may build GStreamer's plug-in cache first; sanitizer builds are slow too.
constexpr seconds kStartBound{60};

// A main window that closes at once and whose destruction, part of the program's exit, runs
// `teardown`.
class EndingWindow : public QDialog {
public:
    explicit EndingWindow(std::function<void()> teardown) : m_teardown(std::move(teardown)) {
        QTimer::singleShot(0, this, &QDialog::reject);
    }
    ~EndingWindow() override { m_teardown(); }
    EndingWindow(const EndingWindow&) = delete;
    EndingWindow& operator=(const EndingWindow&) = delete;

private:
    std::function<void()> m_teardown;
};

// True once a copy running with the temporary folder `temp` has imported a song named `name`:
// its peak file, the last of the import, is there.
bool Imported(const QString& temp, const QString& name) {
    return QDirIterator(temp, {name + ".wfp"}, QDir::Files, QDirIterator::Subdirectories).hasNext();
}

class StartupProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_program.valid() && m_home.isValid());
        ASSERT_TRUE(QFile::copy(ORVANTA_PROGRAM, Program()));
        ASSERT_TRUE(QFile::copy(ORVANTA_STRINGS_XML,
                                QString::fromStdString(m_program.Path() + "strings.xml")));
        // A display of this test's own, so that no other test's copy counts as running (a name
        // this process published stays served until it ends).
        static int tests = 0;
        const QString display = QStringLiteral(":orvanta-test-%1-%2").arg(getpid()).arg(++tests);
        qputenv("DISPLAY", display.toUtf8());
        qunsetenv("WAYLAND_DISPLAY");
        m_environment = QProcessEnvironment::systemEnvironment();
        const QString home = m_home.path();
        m_environment.insert("HOME", home);
        m_environment.insert("XDG_CONFIG_HOME", home + "/.config");
        m_environment.insert("XDG_DATA_HOME", home + "/.local/share");
        m_environment.insert("XDG_CACHE_HOME", home + "/.cache");
        m_environment.insert("QT_QPA_PLATFORM", "offscreen");
        m_environment.remove("ORVANTA_UPDATE_SERVER");
    }

    QString Program() const { return QString::fromStdString(m_program.Path() + "orvanta"); }

    QProcess* Start(const QStringList& arguments = {}) {
        auto process = std::make_unique<QProcess>();
        process->setProgram(Program());
        process->setArguments(arguments);
        process->setProcessEnvironment(m_environment);
        process->start();
        EXPECT_TRUE(process->waitForStarted());
        m_copies.push_back(std::move(process));
        return m_copies.back().get();
    }

    static bool Published() {
        CInstanceChecker checker;
        return checker.PreviousInstanceRunning(Application::SingleInstanceName().c_str());
    }

    static bool WaitForPublished() { return WaitUntil(Published, kStartBound); }

    ProgramFolder m_program;
    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    // Declared last: the copies still running are killed before their folders go.
    std::vector<std::unique_ptr<QProcess>> m_copies;
};

TEST_F(StartupProcessTest, ASecondStartBringsTheFirstCopyForwardAndEndsAtOnce) {
    const std::string updaterCopy = m_program.Path() + "NavorelNow";
    const std::string pending = m_program.Path() + "upgrades/orvanta_setup_9.99.exe";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_program.Path() + "upgrades")));
    ASSERT_TRUE(WriteTextFile(updaterCopy, "left by the last update"));
    ASSERT_TRUE(WriteTextFile(pending, "installer"));
    // Started by the updater: the pending installer is not offered, so the window comes up.
    QProcess* first = Start({"/from_navorel"});
    ASSERT_TRUE(WaitForPublished());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(updaterCopy)));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(pending)));

    QElapsedTimer clock;
    clock.start();
    QProcess* second = Start();
    ASSERT_TRUE(second->waitForFinished(3000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    const QString log = QString::fromUtf8(second->readAllStandardError());
    EXPECT_TRUE(log.contains("was asked to come to the front")) << log.toStdString();
    EXPECT_FALSE(log.contains("window 0 ")) << log.toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(StartupProcessTest, AStartWithASongLoadsItInTheCopyThatRunsOrInItsOwnWindow) {
    const std::string song = m_program.Path() + "a song.wav";
    orvanta::test::WriteBytes(song, orvanta::test::MakeWav({2, 44100, 16, 44100}));
    for (const bool copyRuns : {false, true}) {
        SCOPED_TRACE(copyRuns);
        QTemporaryDir firstTemp;
        QTemporaryDir secondTemp;
        m_environment.insert("TMPDIR", firstTemp.path());
        QProcess* first =
            Start(copyRuns ? QStringList{} : QStringList{QString::fromStdString(song)});
        ASSERT_TRUE(WaitForPublished());
        if (copyRuns) {
            m_environment.insert("TMPDIR", secondTemp.path());
            QProcess* second = Start({QString::fromStdString(song)});
            ASSERT_TRUE(second->waitForFinished(10000));
            EXPECT_EQ(second->exitCode(), 0);
        }
        EXPECT_TRUE(WaitUntil([&] { return Imported(firstTemp.path(), "a song"); }, kStartBound));
        EXPECT_FALSE(Imported(secondTemp.path(), "a song"));
        EXPECT_EQ(first->state(), QProcess::Running);
        first->kill();
        first->waitForFinished();
    }
}

TEST_F(StartupProcessTest, TheRaiseRequestRestoresAndActivatesTheFirstCopysWindow) {
    // This test process plays the first copy, so that its window can be looked at.
    QDialog window;
    window.show();
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    CInstanceChecker checker;
    ASSERT_TRUE(
        checker.TrackFirstInstanceRunning(Application::SingleInstanceName().c_str(), &window));
    QProcess* second = Start();
    EXPECT_TRUE(
        WaitUntil([second] { return second->state() == QProcess::NotRunning; }, seconds(10)));
    EXPECT_EQ(second->exitCode(), 0);
    QApplication::processEvents();
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &window);
}

TEST_F(StartupProcessTest, AStartWhileTheFirstCopyEndsOpensItsOwnWindow) {
    // This test process is the first copy. While its window is destroyed it starts the program
    // and runs no events, as a copy in its exit, until that start has ended or published.
    QProcess* second = nullptr;
    const MessageRecorder languageFileMissing;
    const int status = Application::Start([this, &second] {
        return std::make_unique<EndingWindow>([this, &second] {
            second = Start();
            const QDeadlineTimer deadline(kStartBound);
            while (!second->waitForFinished(100) && !Published() && !deadline.hasExpired()) {
            }
        });
    });
    EXPECT_EQ(status, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->state(), QProcess::Running);
    CInstanceChecker checker;
    ASSERT_TRUE(checker.PreviousInstanceRunning(Application::SingleInstanceName().c_str()));
    EXPECT_NE(checker.ActivatePreviousInstance(), WId{0});
}

TEST_F(StartupProcessTest, ACopyKilledWithSigkillNeverStopsTheNextStart) {
    QProcess* killed = Start();
    ASSERT_TRUE(WaitForPublished());
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished());
    QProcess* next = Start();
    ASSERT_TRUE(WaitForPublished());
    EXPECT_EQ(next->state(), QProcess::Running);
}

TEST_F(StartupProcessTest, TenStartsAtOnceLeaveExactlyOneCopyRunning) {
    std::vector<QProcess*> copies;
    for (int started = 0; started < 10; ++started) {
        copies.push_back(Start());
    }
    const auto finished = [&copies] {
        return std::count_if(copies.begin(), copies.end(), [](const QProcess* copy) {
            return copy->state() == QProcess::NotRunning;
        });
    };
    EXPECT_TRUE(WaitUntil([&finished] { return finished() >= 9; }, kStartBound));
    ASSERT_TRUE(WaitForPublished());
    // Any copy that was to end has ended by now: the losers wait a few seconds at most.
    WaitUntil([] { return false; }, seconds(1));
    EXPECT_EQ(finished(), 9);
    for (const QProcess* copy : copies) {
        if (copy->state() == QProcess::NotRunning) {
            EXPECT_EQ(copy->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(copy->exitCode(), 0);
        }
    }
}

} // namespace
