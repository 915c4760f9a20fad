#pragma once

#include "InputReader.h"

#include <cstdio>
#include <lame/lame.h>
#include <string>

namespace orvanta {

// Writes the working WAV (16-bit PCM, the source's channels and rate) from the reader's blocks,
// dropping the MPEG encoder and decoder delay at the start and the encoder padding at the end.
// `skipCount` is an extra number of samples to drop at the start. `delay` and `padding` come
// from an MP3's encoder tag, -1 where unknown.
// Returns 0 when the whole input was written, 1 when the user cancelled (the header is still
// completed), -1 on failure (an unresolved MPEG layer, a read error, a write error).
int DecodeLoop(lame_global_flags* context, InputReader& reader, std::FILE* output, int skipCount,
               const std::string& inputPath, const std::string& outputPath, int delay, int padding);

} // namespace orvanta
