#include "WorkFiles.h"

#include "FileHandle.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace orvanta {

WorkFiles DeriveWorkFiles(const std::string& sourcePath, const std::string& tempFolder) {
    const std::size_t slash = sourcePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : sourcePath.substr(0, slash + 1);
    const std::string fileName =
        slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
    const std::size_t dot = fileName.rfind('.');
    const std::string name = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    WorkFiles files;
    files.sourcePath = sourcePath;
    files.workingWavPath = tempFolder + name + ".wav";
    files.peakFilePath = tempFolder + name + ".wfp";
    files.ringtoneWavPath = tempFolder + name + "_ringtone.wav";
    files.ringtoneMp3Path = folder + name + "_ringtone.mp3";
    return files;
}

WorkFiles& CurrentWorkFiles() {
    static WorkFiles files;
    return files;
}

void RemoveTemporaryWorkFiles(const WorkFiles& files) {
    for (const std::string* path :
         {&files.workingWavPath, &files.peakFilePath, &files.ringtoneWavPath}) {
        // A temporary name that reaches the source or the MP3 (through a link, say) must never
        // take the user's files with it.
        if (!path->empty() && !IsSameFile(*path, files.sourcePath) &&
            !IsSameFile(*path, files.ringtoneMp3Path) &&
            !IsSameFile(*path, WrittenRingtonePath(files))) {
            std::remove(path->c_str());
        }
    }
}

bool FolderTakesNewFiles(const std::string& filePath) {
    const std::size_t slash = filePath.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : filePath.substr(0, slash + 1);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return false;
    }
    std::string trial = folder + ".orvanta-trial-XXXXXX";
    const int fd = ::mkstemp(trial.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(trial.c_str());
    return true;
}

} // namespace orvanta
