#pragma once

#include "RingtoneFormat.h"

#include <string>

namespace orvanta {

// What one ringtone encode needs besides its format.
struct RingtoneEncodeRequest {
    std::string wavPath;    // the ringtone WAV (16-bit or 8-bit PCM, 44-byte header)
    std::string outputPath; // the finished file; replaced only when the new one is whole
    RingtoneFormat format = RingtoneFormat::Mp3;
    bool stereo = false;       // keep the WAV's channels; else mono
    int outSampleRate = 44100; // 44100, 22050 or 11025
    std::string title;         // the title tag of an M4R or an Ogg; the MP3 has none
};

// The GStreamer elements a format needs that are not installed, and the Debian packages that
// bring them, each a list joined by ", ". MP3 needs none.
struct MissingElements {
    std::string elements;
    std::string packages;

    bool Empty() const { return elements.empty(); }
};
MissingElements FindMissingElements(RingtoneFormat format);

// What the user reads when a format cannot be made: `text` with "{elements}" replaced by the
// elements and "{packages}" by the packages. The window program passes its language's text.
inline constexpr const char* kMissingElementsText =
    "Cannot make this format: the GStreamer plug-in {elements} is missing (install the Debian "
    "package "
    "{packages}).";
std::string DescribeMissingElements(const MissingElements& missing,
                                    std::string text = kMissingElementsText);

// Encodes the ringtone WAV in the request's format, with the engine's result convention: false
// = failed (the reason in the engine's log); true with cancelled = 1 = the user cancelled; true
// with cancelled = 0 = the file is complete. The MP3 goes through ConversionEngine::EncodeToMp3
// unchanged. An M4R or an Ogg is written to a new file in the destination folder and renamed
// over the final name on completion: a cancel or a failure leaves the previous file as it was.
// Progress runs through the encoding phase of ProgressSteps, which always ends.
bool EncodeRingtone(const RingtoneEncodeRequest& request, int& cancelled);

// The MP3 alone, with EncodeRingtone's contract. It needs no GStreamer, so a program that loads
// GStreamer only for the other formats links this without it.
bool EncodeMp3Ringtone(const RingtoneEncodeRequest& request, int& cancelled);

} // namespace orvanta
