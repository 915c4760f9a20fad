#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <fstream>
#include <sstream>

namespace {

const char* const kUpdaterRecord = "updater-call.txt";

// Writes the record in one rename, so a reader never sees half of it.
const char* const kStandInUpdater = "#!/bin/sh\n"
                                    "folder=${0%/*}\n"
                                    "printf '%s\\n%s' \"$#\" \"$1\" > \"$folder/record.tmp\"\n"
                                    "mv \"$folder/record.tmp\" \"$folder/updater-call.txt\"\n";

} // namespace

ProgramFolder::ProgramFolder() {
    const QString path = m_root.filePath(QStringLiteral("my \"ring\" tones $HOME 'x'"));
    if (m_root.isValid() && QDir().mkpath(path)) {
        m_path = path.toStdString() + "/";
    }
}

bool ProgramFolder::AddStandInUpdater() const {
    const std::string path = m_path + "Navorel";
    return WriteTextFile(path, kStandInUpdater) &&
           QFile::setPermissions(QString::fromStdString(path),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::string ProgramFolder::WaitForUpdaterCall() const {
    const std::string record = m_path + kUpdaterRecord;
    WaitUntil([&record] { return QFile::exists(QString::fromStdString(record)); },
              std::chrono::seconds(10));
    return ReadTextFile(record);
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
    file << content;
    return static_cast<bool>(file.flush());
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}
