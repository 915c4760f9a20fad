#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

// The two byte-level passes over the working WAV (a canonical 44-byte-header PCM WAV): reducing
// it to the waveform peak file and cutting the ringtone WAV out of it. Stateless; progress goes
// through ProgressSteps, in 1024-byte chunks.
class WavProcessor {
public:
    // Writes the peak file of `wavPath`. False when either file cannot be opened, the WAV's
    // header is unusable, or the peak file could not be written whole (it is then removed).
    // Sets `cancelled` (1 or 0) unless the WAV holds no data. Always ends the waveform phase.
    bool BuildPeakFile(const std::string& wavPath, const std::string& peakPath, int& cancelled);

    // Copies the frames from startMs to endMs into `ringtonePath` with a linear fade of fadeMs
    // at both ends and a gain of `amplify`; samples saturate at full scale. The selection is
    // clamped to the audio the file holds. False when a file cannot be opened or written, or
    // the header is unusable. Sets `cancelled` unless the cut is empty.
    bool CutRingtone(const std::string& wavPath, const std::string& ringtonePath, int32_t startMs,
                     int32_t endMs, int32_t fadeMs, float amplify, int& cancelled);
};

} // namespace orvanta
