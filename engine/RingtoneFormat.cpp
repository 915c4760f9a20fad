#include "RingtoneFormat.h"

#include "WorkFiles.h"

namespace orvanta {

namespace {

constexpr struct {
    RingtoneFormat format;
    const char* name;
} kNames[] = {
    {RingtoneFormat::Mp3, "mp3"}, {RingtoneFormat::M4r, "m4r"}, {RingtoneFormat::Ogg, "ogg"}};

// "name.ext" with ext one of the formats' names gives "name"; any other path stays whole.
std::string_view WithoutRingtoneExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || !ParseRingtoneFormat(path.substr(dot + 1))) {
        return path;
    }
    return path.substr(0, dot);
}

} // namespace

const char* RingtoneFormatName(RingtoneFormat format) {
    for (const auto& entry : kNames) {
        if (entry.format == format) {
            return entry.name;
        }
    }
    return "mp3";
}

std::optional<RingtoneFormat> ParseRingtoneFormat(std::string_view name) {
    for (const auto& entry : kNames) {
        if (name == entry.name) {
            return entry.format;
        }
    }
    return std::nullopt;
}

std::string RingtonePathFor(const std::string& path, RingtoneFormat format) {
    return std::string(WithoutRingtoneExtension(path)) + "." + RingtoneFormatName(format);
}

std::string WrittenRingtonePath(const WorkFiles& files) {
    return RingtonePathFor(files.ringtoneMp3Path, files.ringtoneFormat);
}

std::string RingtoneTitle(const std::string& sourcePath) {
    const std::size_t slash = sourcePath.rfind('/');
    const std::string fileName =
        slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
    const std::size_t dot = fileName.rfind('.');
    return (dot == std::string::npos ? fileName : fileName.substr(0, dot)) + " (ringtone)";
}

bool SelectionFitsFormat(RingtoneFormat format, int32_t selectionMs) {
    return format != RingtoneFormat::M4r || selectionMs <= kLongestM4rMs;
}

std::string M4rTooLongMessage() {
    return "An iPhone takes ringtones of at most 40 seconds: shorten the selection to 40 seconds "
           "or less, or choose another format.";
}

} // namespace orvanta
