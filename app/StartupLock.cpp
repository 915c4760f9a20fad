#include "StartupLock.h"

#include "pxmisc/CInstanceChecker.h"

#include <QByteArray>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

StartupLock::StartupLock(const std::string& instanceName) {
    // The name may hold a display such as "/tmp/.X11-unix/X0" or "wayland-0": hex keeps it one
    // plain file name.
    const QByteArray key = QByteArray::fromStdString(instanceName).toHex();
    // A folder no other user can enter, so nobody else can hold the lock or plant a link there.
    const std::string folder = CInstanceChecker::GetPrivateRuntimeFolder();
    if (!folder.empty()) {
        m_path = folder + "orvanta-" + key.toStdString() + ".lock";
    }
}

StartupLock::~StartupLock() {
    Release();
}

void StartupLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool StartupLock::TryAcquire() {
    if (m_fd >= 0 || m_path.empty()) {
        return true;
    }
    // Close-on-exec: the updater started later must not inherit the lock and keep the next start
    // of the program waiting.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}
