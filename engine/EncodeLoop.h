#pragma once

#include "InputReader.h"

#include <cstdio>
#include <lame/lame.h>

namespace orvanta {

// Encodes the reader's blocks into `output` in the order ID3v2 tag, audio frames, flushed
// frames, ID3v1 tag, then rewrites the first frame with LAME's tag frame. `noGap` flushes
// without the final gap. Returns 0 when the MP3 is complete, 1 when the user cancelled (the file
// is left unfinished, for the caller to discard), -1 on failure (an encoder error, a read error
// or a write error).
int EncodeLoop(lame_global_flags* context, InputReader& reader, std::FILE* output, bool noGap);

} // namespace orvanta
