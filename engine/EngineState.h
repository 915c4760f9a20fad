#pragma once

#include "InputReader.h"
#include "LameHandles.h"

namespace orvanta {

// One conversion's state: each ConversionEngine owns one and hands it down the call chain, so
// conversions on different threads share nothing but the read-only tables of the LAME library.
struct EngineState {
    LamePtr context; // open between ConversionEngine::Open and the end of a conversion
    InputReader reader;
    int delay = -1;   // encoder delay from an MP3's tag, -1 = unknown
    int padding = -1; // encoder padding from an MP3's tag, -1 = unknown
};

} // namespace orvanta
