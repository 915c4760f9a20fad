#pragma once

#include "InputReader.h"
#include "LameHandles.h"

namespace orvanta {

// The engine's process-wide state. The engine is not re-entrant: one conversion at a time, on
// the thread that calls it.
struct EngineState {
    LamePtr context; // open between ConversionEngine::Open and the end of a conversion
    InputReader reader;
    int delay = -1;   // encoder delay from an MP3's tag, -1 = unknown
    int padding = -1; // encoder padding from an MP3's tag, -1 = unknown
};

EngineState& TheEngineState();

} // namespace orvanta
