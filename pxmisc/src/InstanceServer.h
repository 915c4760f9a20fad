#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <string>

class QWidget;

// The first copy's side of CInstanceChecker: a local server that lives as long as the
// application object, whatever happens to the checker that started it, until it is withdrawn.
namespace InstanceServer {

enum class PublishResult { Published, NameTaken, Failed };

// Takes the lock at `lockPath` and, while this process holds it, serves the local socket at
// `socketPath` (a socket file left there by a copy that was killed is replaced). Each request
// "activate\n" from a process of the same user restores and raises `mainWindow` (if it still
// exists) and is answered with its window identifier, 0 when there is none, followed by "\n".
// A request "open HEX\n" does the same after handing the path HEX spells (the bytes of the
// path in hexadecimal, so any byte a file name may hold travels on one line) to `onOpenFile`.
// NameTaken when another process holds the lock.
PublishResult Publish(const std::string& socketPath, const std::string& lockPath,
                      QWidget* mainWindow, std::function<void(const std::string&)> onOpenFile = {});

// The request line that raises the window and, when `path` is not empty, hands it over.
QByteArray Request(const std::string& path);

// Stops serving `socketPath`, removes the socket file and lets go of the lock. Nothing happens
// when this process does not serve it.
void Withdraw(const std::string& socketPath);

// True when the process at the other end of the connected local socket `descriptor` runs under
// this process's user id.
bool PeerIsSameUser(qintptr descriptor);

} // namespace InstanceServer
