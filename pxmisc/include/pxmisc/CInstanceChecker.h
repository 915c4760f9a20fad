#pragma once

#include "pxmisc/PXMiscExport.h"

#include <functional>
#include <memory>
#include <mutex>
#include <qwindowdefs.h>
#include <string>

class QLocalSocket;
class QWidget;

// Tells a program at start-up whether another copy of it runs for the same user, brings that
// copy's main window to the front, or publishes this copy's main window for later copies.
//
// The first copy serves the name on a local socket in the user's private runtime folder (see
// GetPrivateRuntimeFolder), so another user can neither take the name nor pose as our first
// copy, and both ends check the other's credentials besides. While it serves, the first copy
// holds a lock on a file beside the socket; the kernel lets go of it however the process ends,
// so the socket file a killed copy leaves behind never blocks a new start.
//
// Calling order: PreviousInstanceRunning(name); when true, ActivatePreviousInstance(); when
// false, TrackFirstInstanceRunning(name, mainWindow) once the main window exists; at the exit,
// WithdrawFirstInstance(name) first.
class PXMISC_EXPORT CInstanceChecker {
public:
    // Receives, on the first copy's event loop, a file that a later copy was started with.
    using OpenFileHandler = std::function<void(const std::string& path)>;
    // The longest path a later copy can hand over.
    static constexpr std::size_t kMaxOpenPathBytes = 4096;

    CInstanceChecker();
    // Drops the connection PreviousInstanceRunning opened. What TrackFirstInstanceRunning
    // published stays served until it is withdrawn or the process ends.
    virtual ~CInstanceChecker();
    CInstanceChecker(const CInstanceChecker&) = delete;
    CInstanceChecker& operator=(const CInstanceChecker&) = delete;

    // True when a copy run by this user serves `name`; keeps the connection to it for
    // ActivatePreviousInstance, replacing any earlier one.
    bool PreviousInstanceRunning(const char* name);
    // True when this copy is the first one. Publishes `mainWindow` (which may be null when the
    // copy has no window yet) until WithdrawFirstInstance or the end of the process; needs a
    // running Qt application whose event loop answers later copies. False when another copy of
    // this user serves or holds the name.
    bool TrackFirstInstanceRunning(const char* name, QWidget* mainWindow = nullptr);
    // The same, and each file a later copy hands over with ActivatePreviousInstance(path) goes
    // to `onOpenFile` before the window is raised.
    bool TrackFirstInstanceRunning(const char* name, QWidget* mainWindow,
                                   OpenFileHandler onOpenFile);
    // Stops serving `name` at once and lets go of it: a copy started from now on finds none and
    // may publish itself. Meant as the first step of the exit, since a copy that no longer runs
    // its event loop cannot answer.
    void WithdrawFirstInstance(const char* name);
    // Asks the copy found by PreviousInstanceRunning to restore and raise its main window and
    // returns that window's identifier; 0 when there is no such copy or it published no window.
    // The connection is closed afterwards either way.
    WId ActivatePreviousInstance();
    // The same, and hands `path` (at most kMaxOpenPathBytes; "" hands nothing) to that copy's
    // handler of files to open. 0 also when the path is too long to be handed over.
    WId ActivatePreviousInstance(const std::string& path);
    // A folder of this user that no other user can enter (ending with "/"): $XDG_RUNTIME_DIR
    // when it is a folder of ours with mode 700, else "/tmp/pxmisc-<uid>/", made if missing;
    // "" when that is not a folder of ours closed to others either.
    static std::string GetPrivateRuntimeFolder();
    // "CInstanceChecker_MMF_" followed by the application's name.
    static std::string MakeMMFFilename();

private:
    // Orders the use of the connection between threads of this process.
    std::mutex m_lock;
    std::unique_ptr<QLocalSocket> m_connection;
};
