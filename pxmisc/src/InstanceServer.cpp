#include "InstanceServer.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QWidget>
#include <sys/socket.h>
#include <unistd.h>

namespace InstanceServer {

namespace {

// A request is one short line; anything longer is not one of ours.
constexpr qint64 maxRequestBytes = 64;

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

void Serve(QLocalSocket* socket, const QPointer<QWidget>& window) {
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!PeerIsSameUser(socket->socketDescriptor())) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, window] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > maxRequestBytes) {
                socket->abort();
                socket->deleteLater();
            }
            return;
        }
        const QByteArray request = socket->readLine(maxRequestBytes + 1).trimmed();
        if (request != "activate") {
            socket->abort();
            socket->deleteLater();
            return;
        }
        const WId id = RaiseWindow(window.data());
        socket->write(QByteArray::number(static_cast<quint64>(id)) + '\n');
        socket->flush();
        socket->disconnectFromServer();
    });
}

} // namespace

PublishResult Publish(const QString& socketName, QWidget* mainWindow) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return PublishResult::Failed;
    }
    // Owned by the application object, not by a checker: publishing lasts for the process.
    auto* server = new QLocalServer(application);
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server->listen(socketName)) {
        const bool taken = server->serverError() == QAbstractSocket::AddressInUseError;
        delete server;
        return taken ? PublishResult::NameTaken : PublishResult::Failed;
    }
    const QPointer<QWidget> window(mainWindow);
    // Identifiers are made now, so a later copy gets the same one the window has all along.
    if (mainWindow != nullptr) {
        mainWindow->winId();
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server, window] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            Serve(socket, window);
        }
    });
    return PublishResult::Published;
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
