#pragma once

#include "DecodeOptions.h"

#include <memory>
#include <string>

namespace orvanta {

struct EngineState;

// The engine's façade. Each object owns one conversion's LAME context and reader, so callers
// make one on the stack around each use, and conversions on different threads do not meet.
//
// Conversions follow one result convention: false = failed; true with cancelled = 1 = the user
// cancelled; true with cancelled = 0 = the output file is complete. Outputs are written under a
// temporary name beside the final one (AtomicOutputFile) and replace a file of that name only
// when whole; an output path that names anything but a regular file is refused.
class ConversionEngine {
public:
    ConversionEngine();
    ~ConversionEngine();
    ConversionEngine(const ConversionEngine&) = delete;
    ConversionEngine& operator=(const ConversionEngine&) = delete;

    // Creates the LAME context for one conversion; false when the library gave none.
    bool Open();
    // Closes the context if one is open; LAME's result, 0 when there was nothing to close.
    int Close();

    // Decodes any supported source into a 16-bit PCM WAV with a 44-byte header. Sets
    // `cancelled` only when it returns true. On failure or a cancel the file at `wavPath` stays
    // as it was: an unfinished working WAV is not the song. `options` may ask for less than the
    // whole song, or name a sink that sees the samples as they are written.
    bool DecodeToWav(const std::string& sourcePath, const std::string& wavPath, int& cancelled,
                     const DecodeOptions& options = {});

    // Encodes a ringtone WAV into an MP3 with LAME's default settings but two: mono unless
    // `stereo`, and `outSampleRate` (44100, 22050 or 11025). On failure or a cancel the file at
    // `mp3Path` stays as it was: a shorter MP3 would pass for the whole selection. Always ends the
    // encoding phase, so no progress window outlives a failure to start.
    bool EncodeToMp3(const std::string& wavPath, const std::string& mp3Path, int& cancelled,
                     bool stereo, int outSampleRate);

private:
    std::unique_ptr<EngineState> m_state;
};

} // namespace orvanta
