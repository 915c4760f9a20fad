#pragma once

#include "ReaderState.h"
#include "SourceFile.h"

#include <cstdint>
#include <lame/lame.h>
#include <span>

namespace orvanta {

// Header parsers for the PCM containers. Each is entered just after the 4-byte form identifier
// and returns 1 when the file now stands at its first sample byte (channel count, input sample
// rate and total sample count set on the context), 0 when the file is well formed but refused,
// -1 when it is corrupt.
int ParseWaveHeader(SourceFile& file, lame_global_flags* context, ReaderState& state);
int ParseAiffHeader(SourceFile& file, lame_global_flags* context, ReaderState& state);

// The 80-bit IEEE extended float AIFF uses for its sample rate, big-endian.
double ExtendedToDouble(std::span<const uint8_t, 10> bytes);

} // namespace orvanta
