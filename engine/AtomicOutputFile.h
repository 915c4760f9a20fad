#pragma once

#include "FileHandle.h"

#include <cstdio>
#include <string>

namespace orvanta {

// One output of the engine (working WAV, peak file, ringtone WAV, MP3), written under a new
// temporary name in the destination folder and renamed over the final name only by Commit.
// Until then a file of the final name stays as it was; a failure or a Discard leaves nothing
// behind. A final name that exists as anything but a regular file (a device, a FIFO, a folder,
// a symbolic link) is refused and left alone, so an output path can never delete /dev/stdout,
// block on a FIFO or write through a link.
class AtomicOutputFile {
public:
    AtomicOutputFile() = default;
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // False, with the reason in the engine's log, when the final path is refused or the
    // temporary file cannot be created. The new file has the mode of the file it replaces, else
    // 0644 less the umask.
    bool Create(const std::string& finalPath);

    // The temporary file's stream while one is open, else nullptr.
    std::FILE* File() const { return m_file.get(); }
    const std::string& TemporaryPath() const { return m_temporaryPath; }

    // Closes the file and renames it over the final name. False, with the temporary file
    // removed and the final name untouched, when a write, the close or the rename failed.
    bool Commit();
    // Closes and removes the temporary file; the final name stays untouched.
    void Discard();

    // Unlinks every temporary file that is still open in this process. Safe to call from a
    // signal handler: it only reads fixed storage and calls unlink.
    static void RemovePendingForSignal();

private:
    FilePtr m_file;
    std::string m_finalPath;
    std::string m_temporaryPath;
    int m_pendingSlot = -1;
};

} // namespace orvanta
