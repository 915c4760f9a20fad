#pragma once

#include "pxmisc/PXMiscExport.h"

#include <memory>
#include <mutex>
#include <qwindowdefs.h>
#include <string>

class QLocalSocket;
class QWidget;

// Tells a program at start-up whether another copy of it runs for the same user, brings that
// copy's main window to the front, or publishes this copy's main window for later copies.
//
// The first copy serves the name on a local socket in the abstract namespace: the kernel drops
// it the moment the process ends, however it ends, so a crashed copy never blocks a new start.
// The socket's name carries the user's id, and both ends check the other's credentials, so
// another user can neither pose as our first copy nor drive our window.
//
// Calling order: PreviousInstanceRunning(name); when true, ActivatePreviousInstance(); when
// false, TrackFirstInstanceRunning(name, mainWindow) once the main window exists.
class PXMISC_EXPORT CInstanceChecker {
public:
    CInstanceChecker();
    // Drops the connection PreviousInstanceRunning opened. What TrackFirstInstanceRunning
    // published stays served for the rest of the process.
    virtual ~CInstanceChecker();
    CInstanceChecker(const CInstanceChecker&) = delete;
    CInstanceChecker& operator=(const CInstanceChecker&) = delete;

    // True when a copy run by this user serves `name`; keeps the connection to it for
    // ActivatePreviousInstance, replacing any earlier one.
    bool PreviousInstanceRunning(const char* name);
    // True when this copy is the first one. Publishes `mainWindow` (which may be null when the
    // copy has no window yet) for the rest of the process; needs a running Qt application whose
    // event loop answers later copies. False when another copy of this user serves the name.
    bool TrackFirstInstanceRunning(const char* name, QWidget* mainWindow = nullptr);
    // Asks the copy found by PreviousInstanceRunning to restore and raise its main window and
    // returns that window's identifier; 0 when there is no such copy or it published no window.
    // The connection is closed afterwards either way.
    WId ActivatePreviousInstance();
    // "CInstanceChecker_MMF_" followed by the application's name.
    static std::string MakeMMFFilename();

private:
    // Orders the use of the connection between threads of this process.
    std::mutex m_lock;
    std::unique_ptr<QLocalSocket> m_connection;
};
