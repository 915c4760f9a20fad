#pragma once

#include "Normalize.h"
#include "RingtoneSettings.h"

#include <string>

namespace orvanta {

// The cut and the encode of a normalised ringtone. The encoder's low-pass and its filtering move
// loudness and peaks a little, most at the low rates, so the MP3 is decoded and measured; when
// its true peak comes within 0.1 dB of the ceiling or above, or its loudness misses by more than
// 0.3 LU, the cut is made again with that much correction and encoded once more. The MP3 is
// written to a private folder first and put in place only when it is final, so a cancel or a
// failure anywhere leaves the file at `mp3Path` as it was. Result convention as for the
// conversions: false = failed; true with cancelled = 1 = the user cancelled.
bool MakeNormalizedRingtone(const std::string& workingWavPath, const std::string& ringtoneWavPath,
                            const std::string& mp3Path, const RingtoneSettings& settings,
                            const NormalizeTarget& target, int& cancelled, NormalizeResult& result);

} // namespace orvanta
