#include "pxmisc/CInstanceChecker.h"

#include "InstanceName.h"
#include "InstanceServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QtDebug>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A first copy of the same user answers from its event loop; one that is stuck must not hold
// up a new start for long.
constexpr int connectTimeoutMs = 1000;
constexpr int replyTimeoutMs = 5000;
constexpr qint64 maxReplyBytes = 32;

// A folder that no other user can enter, nor have put there for us: a real folder (not a link),
// ours, and closed to group and others.
bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

CInstanceChecker::CInstanceChecker() = default;

CInstanceChecker::~CInstanceChecker() = default;

bool CInstanceChecker::PreviousInstanceRunning(const char* name) {
    auto connection = std::make_unique<QLocalSocket>();
    const std::string folder = GetPrivateRuntimeFolder();
    if (!folder.empty()) {
        connection->connectToServer(QString::fromStdString(InstanceSocketPath(folder, name)));
    }
    // The folder keeps other users out; the check of the peer costs nothing and stays.
    const bool found = !folder.empty() && connection->waitForConnected(connectTimeoutMs) &&
                       InstanceServer::PeerIsSameUser(connection->socketDescriptor());
    std::lock_guard guard(m_lock);
    if (found) {
        m_connection = std::move(connection);
    } else {
        m_connection.reset();
    }
    return found;
}

bool CInstanceChecker::TrackFirstInstanceRunning(const char* name, QWidget* mainWindow) {
    return TrackFirstInstanceRunning(name, mainWindow, OpenFileHandler());
}

bool CInstanceChecker::TrackFirstInstanceRunning(const char* name, QWidget* mainWindow,
                                                 OpenFileHandler onOpenFile) {
    if (PreviousInstanceRunning(name)) {
        return false;
    }
    const std::string folder = GetPrivateRuntimeFolder();
    if (folder.empty()) {
        qWarning("CInstanceChecker: no private runtime folder; this copy stays unpublished");
        return true;
    }
    const std::string socketPath = InstanceSocketPath(folder, name);
    switch (InstanceServer::Publish(socketPath, InstanceLockPath(folder, name), mainWindow,
                                    std::move(onOpenFile))) {
    case InstanceServer::PublishResult::Published:
        return true;
    case InstanceServer::PublishResult::NameTaken:
        // A copy that started at the same moment holds the name; it serves it at once.
        return false;
    case InstanceServer::PublishResult::Failed:
        break;
    }
    qWarning("CInstanceChecker: cannot publish %s; this copy stays unpublished",
             socketPath.c_str());
    return true;
}

void CInstanceChecker::WithdrawFirstInstance(const char* name) {
    const std::string folder = GetPrivateRuntimeFolder();
    if (!folder.empty()) {
        InstanceServer::Withdraw(InstanceSocketPath(folder, name));
    }
}

WId CInstanceChecker::ActivatePreviousInstance() {
    return ActivatePreviousInstance(std::string());
}

WId CInstanceChecker::ActivatePreviousInstance(const std::string& path) {
    if (path.size() > kMaxOpenPathBytes) {
        qWarning("CInstanceChecker: a path of %zu bytes is too long to hand over", path.size());
        return 0;
    }
    std::unique_ptr<QLocalSocket> connection;
    {
        std::lock_guard guard(m_lock);
        connection = std::move(m_connection);
    }
    if (!connection || connection->state() != QLocalSocket::ConnectedState) {
        return 0;
    }
    connection->write(InstanceServer::Request(path));
    connection->flush();
    QDeadlineTimer deadline(replyTimeoutMs);
    while (!connection->canReadLine()) {
        if (connection->bytesAvailable() > maxReplyBytes ||
            !connection->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return 0;
        }
    }
    bool ok = false;
    const quint64 id = connection->readLine(maxReplyBytes + 1).trimmed().toULongLong(&ok);
    return ok ? static_cast<WId>(id) : 0;
}

std::string CInstanceChecker::GetPrivateRuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const std::string folder = WithoutTrailingSlashes(runtime);
        if (IsPrivateFolder(folder)) {
            return folder + "/";
        }
    }
    // Without a session's runtime folder: one of our own, which another user may have made
    // first; then it is refused rather than used.
    const std::string own = "/tmp/pxmisc-" + std::to_string(::geteuid());
    if ((::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(own)) {
        return own + "/";
    }
    return {};
}

std::string CInstanceChecker::MakeMMFFilename() {
    return "CInstanceChecker_MMF_" + QCoreApplication::applicationName().toStdString();
}
