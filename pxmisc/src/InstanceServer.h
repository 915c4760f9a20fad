#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

// The first copy's side of CInstanceChecker: a local server that lives as long as the
// application object, whatever happens to the checker that started it.
namespace InstanceServer {

enum class PublishResult { Published, NameTaken, Failed };

// Serves `socketName` in the abstract namespace. Each request "activate\n" from a process of
// the same user restores and raises `mainWindow` (if it still exists) and is answered with its
// window identifier, 0 when there is none, followed by "\n".
PublishResult Publish(const QString& socketName, QWidget* mainWindow);

// True when the process at the other end of the connected local socket `descriptor` runs under
// this process's user id.
bool PeerIsSameUser(qintptr descriptor);

} // namespace InstanceServer
