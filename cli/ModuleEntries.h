#pragma once

// What orvanta-cli's modules offer. Each module exports one `extern "C"` function, named below,
// that returns its table; the rest of a module stays hidden. A module finds the engine and the
// tool's own functions in the program that loads it, so both share one engine log, one
// progress bar and one list of unfinished outputs.

#include "Commands.h"
#include "GstRingtoneEncoder.h"

#include <string>

namespace orvanta::cli {

// The preview player, over Qt and GStreamer.
struct PlayModule {
    Outcome (*playPreview)(const CommandLine& line, const std::string& lastEngineError);
};
inline constexpr const char* kPlayModuleFile = "orvanta-cli-play.so";
inline constexpr const char* kPlayModuleEntry = "orvanta_cli_play_module";

// The M4R and Ogg encoders, over GStreamer.
struct GstModule {
    // What the user reads when the format's plug-ins are missing; empty when none is.
    std::string (*missingPlugins)(RingtoneFormat format);
    bool (*encodeRingtone)(const RingtoneEncodeRequest& request, int& cancelled);
};
inline constexpr const char* kGstModuleFile = "orvanta-cli-gst.so";
inline constexpr const char* kGstModuleEntry = "orvanta_cli_gst_module";

} // namespace orvanta::cli
