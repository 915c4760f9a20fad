#include "InstanceServer.h"

#include "pxmisc/CInstanceChecker.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QWidget>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace InstanceServer {

namespace {

// A request is one line, at most a path of CInstanceChecker's longest in hexadecimal; anything
// longer is not one of ours.
constexpr qint64 maxRequestBytes = 64 + 2 * qint64{CInstanceChecker::kMaxOpenPathBytes};
const QByteArray openPrefix = QByteArrayLiteral("open ");

using OpenFileHandler = std::function<void(const std::string&)>;

WId RaiseWindow(QWidget* window) {
    if (window == nullptr) {
        return 0;
    }
    if (window->isMinimized() || !window->isVisible()) {
        window->showNormal();
    }
    window->raise();
    window->activateWindow();
    return window->winId();
}

// The path an "open" request hands over; false when the line is no request of ours.
bool ParseRequest(const QByteArray& request, std::string& path) {
    if (request == "activate") {
        path.clear();
        return true;
    }
    if (!request.startsWith(openPrefix)) {
        return false;
    }
    const QByteArray hex = request.mid(openPrefix.size());
    const QByteArray bytes = QByteArray::fromHex(hex);
    // fromHex skips what is not a digit: a line that does not spell the bytes exactly is refused.
    if (bytes.isEmpty() || bytes.toHex() != hex.toLower()) {
        return false;
    }
    path = bytes.toStdString();
    return true;
}

void Serve(QLocalSocket* socket, const QPointer<QWidget>& window,
           const OpenFileHandler& onOpenFile) {
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!PeerIsSameUser(socket->socketDescriptor())) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, window, onOpenFile] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > maxRequestBytes) {
                socket->abort();
                socket->deleteLater();
            }
            return;
        }
        const QByteArray request = socket->readLine(maxRequestBytes + 1).trimmed();
        std::string path;
        if (!ParseRequest(request, path)) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (!path.empty() && onOpenFile) {
            onOpenFile(path);
        }
        const WId id = RaiseWindow(window.data());
        socket->write(QByteArray::number(static_cast<quint64>(id)) + '\n');
        socket->flush();
        socket->disconnectFromServer();
    });
}

// Holds the lock of a published name for as long as its server lives.
class LockHolder : public QObject {
public:
    LockHolder(int fd, QObject* server) : QObject(server), m_fd(fd) {}
    ~LockHolder() override { ::close(m_fd); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    int m_fd;
};

// The descriptor of the lock at `lockPath`, now held by this process; -1 with errno set when it
// cannot be had (EWOULDBLOCK: another process holds it).
int TakeLock(const std::string& lockPath) {
    // Close-on-exec: a program started later must not inherit the lock and keep the name taken.
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

QLocalServer* ServerOf(const std::string& socketPath) {
    QCoreApplication* application = QCoreApplication::instance();
    return application == nullptr
               ? nullptr
               : application->findChild<QLocalServer*>(QString::fromStdString(socketPath),
                                                       Qt::FindDirectChildrenOnly);
}

} // namespace

PublishResult Publish(const std::string& socketPath, const std::string& lockPath,
                      QWidget* mainWindow, OpenFileHandler onOpenFile) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return PublishResult::Failed;
    }
    const int lock = TakeLock(lockPath);
    if (lock < 0) {
        return errno == EWOULDBLOCK ? PublishResult::NameTaken : PublishResult::Failed;
    }
    // Owned by the application object, not by a checker: publishing lasts for the process.
    auto* server = new QLocalServer(application);
    server->setObjectName(QString::fromStdString(socketPath));
    new LockHolder(lock, server);
    // The lock is ours, so a socket file there belongs to a copy that no longer runs.
    ::unlink(socketPath.c_str());
    if (!server->listen(QString::fromStdString(socketPath))) {
        delete server;
        return PublishResult::Failed;
    }
    const QPointer<QWidget> window(mainWindow);
    // Identifiers are made now, so a later copy gets the same one the window has all along.
    if (mainWindow != nullptr) {
        mainWindow->winId();
    }
    QObject::connect(server, &QLocalServer::newConnection, server,
                     [server, window, onOpenFile = std::move(onOpenFile)] {
                         while (QLocalSocket* socket = server->nextPendingConnection()) {
                             Serve(socket, window, onOpenFile);
                         }
                     });
    return PublishResult::Published;
}

void Withdraw(const std::string& socketPath) {
    if (QLocalServer* server = ServerOf(socketPath)) {
        // Closing removes the socket file; the lock goes with the server, after it.
        server->close();
        delete server;
    }
}

QByteArray Request(const std::string& path) {
    if (path.empty()) {
        return QByteArrayLiteral("activate\n");
    }
    return openPrefix + QByteArray::fromStdString(path).toHex() + '\n';
}

bool PeerIsSameUser(qintptr descriptor) {
    if (descriptor < 0) {
        return false;
    }
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) !=
            0 ||
        length != sizeof(credentials)) {
        return false;
    }
    return credentials.uid == getuid();
}

} // namespace InstanceServer
