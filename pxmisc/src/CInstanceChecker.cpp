#include "pxmisc/CInstanceChecker.h"

#include "InstanceName.h"
#include "InstanceServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QtDebug>
#include <unistd.h>

namespace {

// A first copy of the same user answers from its event loop; one that is stuck must not hold
// up a new start for long.
constexpr int connectTimeoutMs = 1000;
constexpr int replyTimeoutMs = 5000;
constexpr qint64 maxReplyBytes = 32;

} // namespace

CInstanceChecker::CInstanceChecker() = default;

CInstanceChecker::~CInstanceChecker() = default;

bool CInstanceChecker::PreviousInstanceRunning(const char* name) {
    auto connection = std::make_unique<QLocalSocket>();
    connection->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    connection->connectToServer(InstanceSocketName(name, getuid()));
    // Abstract names carry no permissions: any user may hold ours, so only a server run by
    // this user counts as an earlier copy.
    const bool found = connection->waitForConnected(connectTimeoutMs) &&
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
    if (PreviousInstanceRunning(name)) {
        return false;
    }
    const QString socketName = InstanceSocketName(name, getuid());
    switch (InstanceServer::Publish(socketName, mainWindow)) {
    case InstanceServer::PublishResult::Published:
        return true;
    case InstanceServer::PublishResult::NameTaken:
        // Either a copy that started at the same moment won the name, or another user holds
        // it; that user cannot stop this copy from starting, only from being found.
        if (PreviousInstanceRunning(name)) {
            return false;
        }
        qWarning("CInstanceChecker: %s is held by another user; this copy stays unpublished",
                 qPrintable(socketName));
        return true;
    case InstanceServer::PublishResult::Failed:
        break;
    }
    qWarning("CInstanceChecker: cannot publish %s; this copy stays unpublished",
             qPrintable(socketName));
    return true;
}

WId CInstanceChecker::ActivatePreviousInstance() {
    std::unique_ptr<QLocalSocket> connection;
    {
        std::lock_guard guard(m_lock);
        connection = std::move(m_connection);
    }
    if (!connection || connection->state() != QLocalSocket::ConnectedState) {
        return 0;
    }
    connection->write("activate\n");
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

std::string CInstanceChecker::MakeMMFFilename() {
    return "CInstanceChecker_MMF_" + QCoreApplication::applicationName().toStdString();
}
