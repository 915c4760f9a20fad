#pragma once

// The M4R and Ogg encoders need GStreamer, so they are a module loaded only when such a format
// is asked for (see ModuleEntries.h; "play" loads its own, PlayCommand.h).

#include "Commands.h"
#include "GstRingtoneEncoder.h"

#include <optional>
#include <string>

namespace orvanta::cli {

// Why `format` cannot be made here (the GStreamer module or its plug-ins missing), nullopt when
// it can. MP3 needs neither.
std::optional<std::string> WhyFormatUnavailable(RingtoneFormat format);

// EncodeRingtone's contract; only the M4R and the Ogg load the GStreamer module.
bool EncodeInFormat(const RingtoneEncodeRequest& request, int& cancelled);

} // namespace orvanta::cli
