#pragma once

#include "DecodeOptions.h"
#include "InputReader.h"

#include <cstdint>
#include <cstdio>
#include <lame/lame.h>
#include <optional>
#include <string>

namespace orvanta {

// The most sample bytes a working WAV holds: the header's 32-bit RIFF length counts the file's
// bytes, so data and header together stay within 0xFFFFFFFF. A longer source fails the decode.
inline constexpr uint64_t kLargestWorkingWavDataBytes = 0xFFFFFFFF - 44;

// Test seam: a lower limit in place of kLargestWorkingWavDataBytes for the decodes that follow;
// nullopt restores it. Lets a test reach the limit without writing 4 GiB.
void LimitWorkingWavDataForTest(std::optional<uint64_t> byteCount);

// Writes the working WAV (16-bit PCM, the source's channels and rate) from the reader's blocks,
// dropping the MPEG encoder and decoder delay at the start and the encoder padding at the end.
// `skipCount` is an extra number of samples to drop at the start. `delay` and `padding` come
// from an MP3's encoder tag, -1 where unknown.
// Returns 0 when the whole input (or all `options` asked for) was written, 1 when the user
// cancelled (the header is still completed), -1 on failure (an unresolved MPEG layer, a read error,
// a write error, more audio than a WAV file can hold). `options.sink`, when given, sees every
// sample byte written.
int DecodeLoop(lame_global_flags* context, InputReader& reader, std::FILE* output, int skipCount,
               const std::string& inputPath, const std::string& outputPath, int delay, int padding,
               const DecodeOptions& options = {});

} // namespace orvanta
