#pragma once

#include <string>

// Held by the copy of the program that runs for a user's display session, from its first step
// until its window has closed, so that copies started at the same moment cannot both go on to
// open a window. It is a lock on a file in the user's private runtime folder: the kernel lets
// go of it however the holder ends, so a crashed or killed copy never blocks the next start.
class StartupLock {
public:
    // The lock for the single-instance name `instanceName`; not yet taken.
    explicit StartupLock(const std::string& instanceName);
    ~StartupLock();
    StartupLock(const StartupLock&) = delete;
    StartupLock& operator=(const StartupLock&) = delete;

    // Takes the lock without waiting. True when this process holds it (also when it already
    // did); false while another process holds it. When there is no runtime folder or the lock
    // file cannot be made there, there is nothing to guard with and the result is true.
    bool TryAcquire();
    // Lets go of the lock, so that a copy started from now on may go on.
    void Release();

private:
    std::string m_path;
    int m_fd = -1;
};
