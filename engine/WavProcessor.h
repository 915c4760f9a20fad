#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvanta {

class PeakBuilder;
struct NormalizeTarget;
struct NormalizeResult;

// The two byte-level passes over the working WAV (a canonical 44-byte-header PCM WAV): reducing
// it to the waveform peak file and cutting the ringtone WAV out of it. Stateless; progress goes
// through ProgressSteps, in 1024-byte chunks. Each output replaces a file of its name only when
// the pass completes: a failed or cancelled pass leaves that file as it was.
class WavProcessor {
public:
    // Writes the peak file of `wavPath`. False when either file cannot be opened, the WAV is
    // not a regular file, not a canonical PCM WAV of 8 or 16 bits (OpenWorkingWav) or larger
    // than 4 GiB, or the peak file could not be written whole.
    // Sets `cancelled` (1 or 0) unless the WAV holds no data. Always ends the waveform phase.
    bool BuildPeakFile(const std::string& wavPath, const std::string& peakPath, int& cancelled);

    // The peak step after a decode that fed `peaks`: writes them as the peak file when they
    // stand for the finished WAV (its length says so) without reading it, in one progress step;
    // otherwise BuildPeakFile. Results and progress as BuildPeakFile's; a Cancel writes nothing.
    bool WritePeakFile(const PeakBuilder& peaks, const std::string& wavPath,
                       const std::string& peakPath, int& cancelled);

    // Copies the frames from startMs to endMs into `ringtonePath` with a linear fade of fadeMs
    // at both ends and a gain of `amplify`; samples saturate at full scale. The selection is
    // clamped to the audio the file holds and the fade to the selection. False when a file
    // cannot be opened or written, or the WAV is refused as BuildPeakFile refuses it. Sets
    // `cancelled` unless the cut is empty.
    bool CutRingtone(const std::string& wavPath, const std::string& ringtonePath, int32_t startMs,
                     int32_t endMs, int32_t fadeMs, float amplify, int& cancelled);

    // The frames [start, end) that CutRingtone copies for startMs..endMs, with each end moved to
    // the best zero crossing within kSnapWindowMs (FindZeroCrossing; the end is judged by the
    // cut's last frame). An end with no crossing nearby stays, and both stay when the moved ends
    // would leave nothing. Only 16-bit samples are searched; other layouts keep their ends.
    // nullopt when the WAV cannot be read.
    struct CutFrames {
        uint32_t start = 0;
        uint32_t end = 0;
    };
    std::optional<CutFrames> SnapCutToZeroCrossings(const std::string& wavPath, int32_t startMs,
                                                    int32_t endMs);

    // CutRingtone over the frames SnapCutToZeroCrossings gives.
    bool CutRingtoneSnapped(const std::string& wavPath, const std::string& ringtonePath,
                            int32_t startMs, int32_t endMs, int32_t fadeMs, float amplify,
                            int& cancelled);

    // CutRingtone with the gain that brings the ringtone as written, fades included, to the
    // target loudness, and the true-peak limiter where that gain would lift a peak above the
    // ceiling; the fades come after the limiter. A selection without a measurable loudness
    // (silence, under 400 ms) is cut at 100 %; `result` says what was found and done. With
    // `snap`, the ends move as CutRingtoneSnapped moves them.
    bool CutRingtoneNormalized(const std::string& wavPath, const std::string& ringtonePath,
                               int32_t startMs, int32_t endMs, int32_t fadeMs,
                               const NormalizeTarget& target, bool snap, int& cancelled,
                               NormalizeResult& result);
};

} // namespace orvanta
