#include "../src/InstanceName.h"
#include "pxmisc/CInstanceChecker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QWidget>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
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
    explicit Peer(const QStringList& arguments) {
        m_process.setProgram(QStringLiteral(PXMISC_INSTANCE_PEER));
        m_process.setArguments(arguments);
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
    void Write(const char* text) { m_process.write(text); }
    void KillHard() {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
        m_process.waitForFinished(lineTimeoutMs);
    }

private:
    QProcess m_process;
};

// A local socket address: the socket file at a path, or the same bytes in the abstract
// namespace (a zero byte, then the name's bytes, without a terminator), where any user may bind.
struct SocketAddress {
    sockaddr_un address{};
    socklen_t length = 0;
};

SocketAddress SocketAddressOf(const std::string& path, bool abstract) {
    SocketAddress result;
    result.address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    const std::size_t count = std::min(path.size(), sizeof(result.address.sun_path) - 1 - offset);
    std::memcpy(result.address.sun_path + offset, path.data(), count);
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + count +
                                           (abstract ? 0 : 1));
    return result;
}

// Our copies' socket for `name`: the file, and its bytes as an abstract name.
std::array<SocketAddress, 2> AddressesOf(const std::string& name) {
    const std::string path =
        InstanceSocketPath(CInstanceChecker::GetPrivateRuntimeFolder(), name.c_str());
    return {SocketAddressOf(path, false), SocketAddressOf(path, true)};
}

// The helpers below run in a forked child of this threaded process, where only
// async-signal-safe calls are allowed: plain system calls on memory made before the fork.

void WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent <= 0) {
            return;
        }
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
}

void WriteText(int fd, const char* text) {
    WriteAll(fd, text, std::strlen(text));
}

// Reads from a socket until a line end, the end of the stream or a quiet spell of `waitMs`;
// gives the count of bytes before the line end.
std::size_t ReadLineInto(int fd, char* buffer, std::size_t size, int waitMs) {
    std::size_t count = 0;
    while (count < size) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, waitMs) <= 0) {
            break;
        }
        const ssize_t got = ::recv(fd, buffer + count, size - count, 0);
        if (got <= 0) {
            break;
        }
        count += static_cast<std::size_t>(got);
        if (const void* end = std::memchr(buffer, '\n', count)) {
            return static_cast<std::size_t>(static_cast<const char*>(end) - buffer);
        }
    }
    return count;
}

int ListenAt(const SocketAddress& address) {
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener >= 0 && (::bind(listener, reinterpret_cast<const sockaddr*>(&address.address),
                                 address.length) != 0 ||
                          ::listen(listener, 4) != 0)) {
        ::close(listener);
        return -1;
    }
    return listener;
}

// Holds whichever of `addresses` it can get and answers every request with "4242", as a rogue
// first copy would; reports "ready file=<0|1>" once it listens.
[[noreturn]] void Squat(const std::array<SocketAddress, 2>& addresses, int report) {
    const int file = ListenAt(addresses[0]);
    const int abstract = ListenAt(addresses[1]);
    WriteText(report, file >= 0 ? "ready file=1\n" : "ready file=0\n");
    for (;;) {
        pollfd waiting[2] = {{file, POLLIN, 0}, {abstract, POLLIN, 0}};
        if (::poll(waiting, 2, -1) <= 0) {
            continue;
        }
        const int listener = (waiting[0].revents & POLLIN) != 0 ? file : abstract;
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        char request[64];
        ReadLineInto(client, request, sizeof request, 3000);
        WriteText(client, "4242\n");
        // The client closes first, so it never writes into a closed connection.
        ReadLineInto(client, request, sizeof request, 3000);
        ::close(client);
    }
}

// Asks whoever serves `address` for activation, bypassing the checker's credential checks, and
// reports "reply=<line>", or "reply=none" when no line comes.
[[noreturn]] void Probe(const std::array<SocketAddress, 2>& addresses, int report) {
    const SocketAddress& address = addresses[0];
    char reply[64];
    std::size_t length = 0;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) == 0) {
        WriteText(fd, "activate\n");
        length = ReadLineInto(fd, reply, sizeof reply, 3000);
    }
    WriteText(report, "reply=");
    if (length > 0) {
        WriteAll(report, reply, length);
    } else {
        WriteText(report, "none");
    }
    WriteText(report, "\n");
    _exit(0);
}

bool BecomeUser(uid_t uid) {
    return uid == ::getuid() ||
           (::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0);
}

// A copy of this process that runs `body` as user `uid` and reports through a socket. Forking
// reaches no file, so the other user needs no way into the build tree, which lies in a private
// folder whenever the checkout does.
class ForkedPeer {
public:
    using Body = void (*)(const std::array<SocketAddress, 2>& addresses, int report);

    ForkedPeer(uid_t uid, Body body, const std::array<SocketAddress, 2>& addresses) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return;
        }
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ends[0]);
            if (!BecomeUser(uid)) {
                _exit(126);
            }
            // Set after the change of user, which clears it; the parent may be gone already.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                _exit(0);
            }
            body(addresses, ends[1]);
            _exit(0);
        }
        ::close(ends[1]);
        m_report = m_pid > 0 ? ends[0] : -1;
        if (m_pid < 0) {
            ::close(ends[0]);
        }
    }
    ~ForkedPeer() {
        if (m_report >= 0) {
            ::close(m_report);
        }
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ForkedPeer(const ForkedPeer&) = delete;
    ForkedPeer& operator=(const ForkedPeer&) = delete;

    // The next line the child reports, "" when none comes in time. This process's events run
    // meanwhile, so a copy that the test process published can answer the child.
    std::string ReadLine() {
        const QDeadlineTimer deadline(lineTimeoutMs);
        while (m_report >= 0 && !deadline.hasExpired()) {
            const std::size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                const std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            QCoreApplication::processEvents();
            pollfd waiting{m_report, POLLIN, 0};
            if (::poll(&waiting, 1, 10) > 0) {
                char buffer[128];
                const ssize_t count = ::recv(m_report, buffer, sizeof buffer, 0);
                if (count <= 0) {
                    return {};
                }
                m_pending.append(buffer, static_cast<std::size_t>(count));
            }
        }
        return {};
    }

private:
    pid_t m_pid = -1;
    int m_report = -1;
    std::string m_pending;
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

// The line the first copy answers `request` with; "" when it drops the connection instead.
std::string Answer(const std::string& name, const QByteArray& request) {
    QLocalSocket client;
    client.connectToServer(QString::fromStdString(
        InstanceSocketPath(CInstanceChecker::GetPrivateRuntimeFolder(), name.c_str())));
    client.write(request);
    const QDeadlineTimer deadline(lineTimeoutMs);
    while (!client.canReadLine() && client.state() != QLocalSocket::UnconnectedState &&
           !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        client.waitForReadyRead(10);
    }
    return client.canReadLine() ? client.readLine().trimmed().toStdString() : std::string();
}

TEST(InstanceCheckerTest, AFileHandedOverArrivesByteForByteAndMalformedRequestsAreDropped) {
    const std::string name = UniqueName("open");
    std::vector<std::string> handed;
    CInstanceChecker checker;
    ASSERT_TRUE(checker.TrackFirstInstanceRunning(
        name.c_str(), nullptr, [&handed](const std::string& path) { handed.push_back(path); }));
    const std::string odd = "/m/a b\n\xff.wav";
    const std::string longest(CInstanceChecker::kMaxOpenPathBytes, 'x');
    const struct {
        QByteArray request;
        std::string answer;
        std::vector<std::string> handed;
    } rows[] = {
        {"activate\n", "0", {}},
        {"open " + QByteArray::fromStdString(odd).toHex() + "\n", "0", {odd}},
        {"open " + QByteArray::fromStdString(longest).toHex().toUpper() + "\n", "0", {longest}},
        {"open zz\n", "", {}},
        {"open 2f6\n", "", {}},
        {"open \n", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.request.left(20).toStdString());
        handed.clear();
        EXPECT_EQ(Answer(name, row.request), row.answer);
        EXPECT_EQ(handed, row.handed);
    }
    // Too long to hand over: refused before anything is sent.
    CInstanceChecker later;
    ASSERT_TRUE(later.PreviousInstanceRunning(name.c_str()));
    EXPECT_EQ(later.ActivatePreviousInstance(longest + "x"), WId{0});
    checker.WithdrawFirstInstance(name.c_str());
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

// Each row a way a later start used to miss the running copy: it must find it and raise it.
TEST(InstanceCheckerTest, ALaterStartRaisesTheRunningCopyWhateverHappenedBefore) {
    struct Row {
        const char* what;
        bool needsRoot;
    };
    const std::array rows{
        // Another user holds whatever of our name it can reach before our first copy starts.
        Row{"another user squats the name", true},
        // The first copy withdraws, as at the start of its exit, and then answers nothing.
        Row{"the first copy is ending", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsRoot && getuid() != 0) {
            continue; // only root can run a copy as another user
        }
        const std::string name = UniqueName("raise");
        std::unique_ptr<ForkedPeer> squatter;
        std::unique_ptr<Peer> ending;
        if (row.needsRoot) {
            squatter = std::make_unique<ForkedPeer>(nobodyUid, &Squat, AddressesOf(name));
            EXPECT_EQ(squatter->ReadLine(), "ready file=0");
        } else {
            ending = std::make_unique<Peer>(Args({"first", Q(name), "hidden"}));
            ASSERT_EQ(Field(ending->ReadLine(), "first"), "1");
            ending->Write("withdraw\n");
            ASSERT_EQ(ending->ReadLine(), "withdrawn");
        }
        Peer first(Args({"first", Q(name), "minimized"}));
        const std::string ready = first.ReadLine();
        ASSERT_EQ(Field(ready, "first"), "1") << ready;
        Peer second(Args({"second", Q(name)}));
        EXPECT_EQ(second.ReadLine(), "running=1 wid=" + Field(ready, "wid"));
        EXPECT_EQ(first.StateBecomes("visible=1 minimized=0"), "visible=1 minimized=0 active=1");
    }
}

TEST(InstanceCheckerTest, AnotherUserCannotDriveOurWindow) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root can run a copy as another user";
    }
    const std::string name = UniqueName("foreign");
    QWidget window;
    CInstanceChecker checker;
    ASSERT_TRUE(checker.TrackFirstInstanceRunning(name.c_str(), &window));
    const std::array<SocketAddress, 2> ours = AddressesOf(name);

    ForkedPeer foreign(nobodyUid, &Probe, ours);
    EXPECT_EQ(foreign.ReadLine(), "reply=none");
    EXPECT_FALSE(window.isVisible());

    ForkedPeer own(getuid(), &Probe, ours);
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
