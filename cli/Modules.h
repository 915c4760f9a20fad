#pragma once

// The commands that need Qt or GStreamer reach them through modules loaded only when asked
// for, so every other command starts without those libraries (see ModuleEntries.h).

#include "Commands.h"
#include "GstRingtoneEncoder.h"

#include <optional>
#include <string>

namespace orvanta::cli {

// "play" in the player module; fails with a message when the module cannot be loaded.
Outcome PlayThroughModule(const CommandLine& line, const std::string& lastEngineError);

// Why `format` cannot be made here (the GStreamer module or its plug-ins missing), nullopt when
// it can. MP3 needs neither.
std::optional<std::string> WhyFormatUnavailable(RingtoneFormat format);

// EncodeRingtone's contract; only the M4R and the Ogg load the GStreamer module.
bool EncodeInFormat(const RingtoneEncodeRequest& request, int& cancelled);

} // namespace orvanta::cli
