#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <fstream>
#include <sstream>

ProgramFolder::ProgramFolder() {
    const QString path = m_root.filePath(QStringLiteral("my \"ring\" tones $HOME 'x'"));
    if (m_root.isValid() && QDir().mkpath(path)) {
        m_path = path.toStdString() + "/";
    }
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

bool WriteTextFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary);
    return static_cast<bool>(file << content);
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}
