#include "pxmisc/CInstanceChecker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QWidget>
#include <array>
#include <atomic>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int lineTimeoutMs = 8000;
constexpr uid_t nobodyUid = 65534;

// Every test gets names of its own, so runs side by side never meet.
std::string UniqueName(const char* label) {
    static std::atomic<int> counter{0};
    return "pxmisc_test_" + std::to_string(getpid()) + "_" + label + "_" +
           std::to_string(counter++);
}

// The value of "key=value" in a line of the peer's output.
std::string Field(const std::string& line, const std::string& key) {
    for (const QByteArray& part : QByteArray::fromStdString(line).split(' ')) {
        if (part.startsWith(key + '=')) {
            return part.mid(static_cast<qsizetype>(key.size()) + 1).toStdString();
        }
    }
    return {};
}

// One run of the peer program, ended when the object goes.
class Peer {
public:
    Peer(const QStringList& arguments, bool asNobody = false) {
        m_process.setProgram(QStringLiteral(PXMISC_INSTANCE_PEER));
        m_process.setArguments(arguments);
        if (asNobody) {
            m_process.setChildProcessModifier([] {
                if (setgroups(0, nullptr) != 0 || setgid(nobodyUid) != 0 ||
                    setuid(nobodyUid) != 0) {
                    _exit(126);
                }
            });
        }
        m_process.start();
    }
    ~Peer() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(2000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // The next line the peer prints, "" when none comes in time. This process's events run
    // meanwhile, so a copy that the test process published can answer the peer.
    std::string ReadLine() {
        const QDeadlineTimer deadline(lineTimeoutMs);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired()) {
                return {};
            }
            QCoreApplication::processEvents();
            if (!m_process.waitForReadyRead(10) && m_process.state() == QProcess::NotRunning &&
                !m_process.canReadLine()) {
                return {};
            }
        }
        return m_process.readLine().trimmed().toStdString();
    }
    // Asks a "first" peer for its window state until it starts with `expected` or time runs
    // out; window activation reaches the widget through the event queue.
    std::string StateBecomes(const std::string& expected) {
        const QDeadlineTimer deadline(lineTimeoutMs);
        std::string state;
        do {
            m_process.write("state\n");
            state = ReadLine();
        } while (!state.starts_with(expected) && !state.empty() && !deadline.hasExpired());
        return state;
    }
    void KillHard() {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
        m_process.waitForFinished(lineTimeoutMs);
    }

private:
    QProcess m_process;
};

QStringList Args(std::initializer_list<QString> parts) {
    return QStringList(parts);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

TEST(InstanceCheckerTest, FirstCopyStaysFoundAfterItsCheckerIsGone) {
    const std::string name = UniqueName("first");
    {
        CInstanceChecker checker;
        EXPECT_FALSE(checker.PreviousInstanceRunning(name.c_str()));
        EXPECT_TRUE(checker.TrackFirstInstanceRunning(name.c_str()));
    }
    CInstanceChecker later;
    EXPECT_TRUE(later.PreviousInstanceRunning(name.c_str()));
    EXPECT_FALSE(later.TrackFirstInstanceRunning(name.c_str()));

    // Published without a window: another process finds it and gets no window.
    Peer second(Args({"second", Q(name)}));
    EXPECT_EQ(second.ReadLine(), "running=1 wid=0");
    Peer rival(Args({"first", Q(name), "hidden"}));
    EXPECT_EQ(Field(rival.ReadLine(), "first"), "0");
}

TEST(InstanceCheckerTest, NoActivationWithoutAnEarlierCopy) {
    CInstanceChecker neverAsked;
    EXPECT_EQ(neverAsked.ActivatePreviousInstance(), WId{0});

    CInstanceChecker notFound;
    EXPECT_FALSE(notFound.PreviousInstanceRunning(UniqueName("absent").c_str()));
    EXPECT_EQ(notFound.ActivatePreviousInstance(), WId{0});
}

TEST(InstanceCheckerTest, ActivationRestoresAndRaisesThePublishedWindow) {
    struct Row {
        const char* mode;
        bool published;
        std::string before;
        std::string after;
    };
    // The offscreen platform may already count a minimised window as active, so the state
    // before activation leaves "active" out.
    const std::array rows{
        Row{"minimized", true, "visible=1 minimized=1", "visible=1 minimized=0 active=1"},
        Row{"hidden", true, "visible=0 minimized=0", "visible=1 minimized=0 active=1"},
        // Published before the window existed: nothing may change.
        Row{"unpublished", false, "visible=0 minimized=0", "visible=0 minimized=0 active=0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        const std::string name = UniqueName(row.mode);
        Peer first(Args({"first", Q(name), row.mode}));
        const std::string ready = first.ReadLine();
        ASSERT_EQ(Field(ready, "first"), "1") << ready;
        const WId peerId = std::stoull(Field(ready, "wid"));
        EXPECT_EQ(peerId != 0, row.published);
        EXPECT_TRUE(first.StateBecomes(row.before).starts_with(row.before));

        CInstanceChecker checker;
        ASSERT_TRUE(checker.PreviousInstanceRunning(name.c_str()));
        EXPECT_EQ(checker.ActivatePreviousInstance(), peerId);
        EXPECT_EQ(first.StateBecomes(row.after), row.after);
        // The connection is spent.
        EXPECT_EQ(checker.ActivatePreviousInstance(), WId{0});
    }
}

TEST(InstanceCheckerTest, KilledFirstCopyDoesNotBlockLaterCopies) {
    const std::string name = UniqueName("killed");
    {
        Peer crashed(Args({"first", Q(name), "hidden"}));
        ASSERT_EQ(Field(crashed.ReadLine(), "first"), "1");
        crashed.KillHard();
    }
    CInstanceChecker checker;
    EXPECT_FALSE(checker.PreviousInstanceRunning(name.c_str()));
    Peer next(Args({"first", Q(name), "hidden"}));
    EXPECT_EQ(Field(next.ReadLine(), "first"), "1");
    Peer second(Args({"second", Q(name)}));
    EXPECT_EQ(Field(second.ReadLine(), "running"), "1");
}

TEST(InstanceCheckerTest, CopiesStartingTogetherElectOneFirst) {
    const std::string name = UniqueName("race");
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < 4; ++i) {
        peers.push_back(std::make_unique<Peer>(Args({"first", Q(name), "hidden"})));
    }
    int firsts = 0;
    for (auto& peer : peers) {
        const std::string first = Field(peer->ReadLine(), "first");
        ASSERT_FALSE(first.empty());
        firsts += first == "1" ? 1 : 0;
    }
    EXPECT_EQ(firsts, 1);
}

TEST(InstanceCheckerTest, AnotherUserCannotPoseAsTheFirstCopy) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root can run a peer as another user";
    }
    const std::string name = UniqueName("squat");
    const QString ourUid = QString::number(getuid());
    Peer squatter(Args({"squat", Q(name), ourUid}), /*asNobody=*/true);
    ASSERT_EQ(squatter.ReadLine(), "ready");
    // The squatter really holds our name: a raw request reaches it.
    Peer probe(Args({"probe", Q(name), ourUid}));
    ASSERT_EQ(probe.ReadLine(), "reply=4242");

    CInstanceChecker checker;
    EXPECT_FALSE(checker.PreviousInstanceRunning(name.c_str()));
    EXPECT_EQ(checker.ActivatePreviousInstance(), WId{0});
    EXPECT_TRUE(checker.TrackFirstInstanceRunning(name.c_str()));
    Peer second(Args({"second", Q(name)}));
    EXPECT_EQ(second.ReadLine(), "running=0 wid=0");
}

TEST(InstanceCheckerTest, AnotherUserCannotDriveOurWindow) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root can run a peer as another user";
    }
    const std::string name = UniqueName("foreign");
    const QString ourUid = QString::number(getuid());
    QWidget window;
    CInstanceChecker checker;
    ASSERT_TRUE(checker.TrackFirstInstanceRunning(name.c_str(), &window));

    Peer foreign(Args({"probe", Q(name), ourUid}), /*asNobody=*/true);
    EXPECT_EQ(foreign.ReadLine(), "reply=none");
    EXPECT_FALSE(window.isVisible());

    Peer own(Args({"probe", Q(name), ourUid}));
    EXPECT_EQ(own.ReadLine(), "reply=" + std::to_string(window.winId()));
    EXPECT_TRUE(window.isVisible());
}

TEST(InstanceCheckerTest, FileNameCarriesTheApplicationName) {
    const QString saved = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    EXPECT_EQ(CInstanceChecker::MakeMMFFilename(), "CInstanceChecker_MMF_Orvanta");
    QCoreApplication::setApplicationName(saved);
}

} // namespace
