#pragma once

#include "Commands.h"

#include <string>

namespace orvanta::cli {

// "play": previews a period of a working WAV through the preview player, with its fades, until
// the player stops or completes. Ctrl-C stops the player first and gives Outcome::Cancelled.
// The player, with Qt and GStreamer, is a module loaded only here (PlayModule.cpp); without it
// the command fails with a message.
Outcome PlayPreview(const CommandLine& line, const std::string& lastEngineError);

} // namespace orvanta::cli
