#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvanta {

struct WorkFiles;

// The kinds of file a ringtone can be written as. MP3 goes through LAME as it always has; the
// others go through GStreamer (engine/gst), which the engine core never loads.
enum class RingtoneFormat { Mp3, M4r, Ogg };

// An iPhone refuses a ringtone that lasts longer than this.
inline constexpr int32_t kLongestM4rMs = 40000;

// The word the command line uses: "mp3", "m4r", "ogg".
const char* RingtoneFormatName(RingtoneFormat format);
std::optional<RingtoneFormat> ParseRingtoneFormat(std::string_view name);

// `path` with the format's own extension in place of a ringtone extension (".mp3", ".m4r",
// ".ogg"), or added when it has none.
std::string RingtonePathFor(const std::string& path, RingtoneFormat format);

// The path of the ringtone the job last wrote, in the format it was written in.
std::string WrittenRingtonePath(const WorkFiles& files);

// The title the M4R and the Ogg carry: the song's file name without its extension, plus
// " (ringtone)".
std::string RingtoneTitle(const std::string& sourcePath);

// False when a selection of `selectionMs` is too long for `format`.
bool SelectionFitsFormat(RingtoneFormat format, int32_t selectionMs);

// Why a selection is too long for an M4R, and how long it may be.
std::string M4rTooLongMessage();

} // namespace orvanta
