#pragma once

#include "RingtoneFormat.h"

#include <string>

namespace orvanta {

// The five paths of one ringtone job. The working WAV, the peak file and the ringtone WAV live
// in a temporary folder; the MP3 goes beside the source and is never deleted.
struct WorkFiles {
    std::string sourcePath;
    std::string workingWavPath;  // temporary folder + name + ".wav"
    std::string peakFilePath;    // temporary folder + name + ".wfp"
    std::string ringtoneWavPath; // temporary folder + name + "_ringtone.wav"
    std::string ringtoneMp3Path; // source folder + name + "_ringtone.mp3"
    // The format of the ringtone last written; WrittenRingtonePath gives its path.
    RingtoneFormat ringtoneFormat = RingtoneFormat::Mp3;
};

// Derives the job's paths from the source path as typed. `tempFolder` ends with "/". The name is
// the source's file name without its extension; a source without a folder gives an MP3 path
// without one (relative to the current folder).
WorkFiles DeriveWorkFiles(const std::string& sourcePath, const std::string& tempFolder);

// The current job's paths, shared by the pages and the window that cleans up after them; all
// empty until an import succeeds.
WorkFiles& CurrentWorkFiles();

// Deletes the job's working WAV, peak file and ringtone WAV. The source and the MP3 stay, even
// when a temporary path names the same file; a file
// that is already gone or cannot be deleted is left to the temporary folder's own clean-up.
void RemoveTemporaryWorkFiles(const WorkFiles& files);

// Whether the folder of `filePath` takes a new file: permission alone does not say so (a
// read-only mount, a full quota, root's view of modes), so a trial file is made and removed.
bool FolderTakesNewFiles(const std::string& filePath);

} // namespace orvanta
