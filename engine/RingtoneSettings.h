#pragma once

#include "RingtoneFormat.h"

#include <cstdint>

namespace orvanta {

// What the edit page gathers when Next is pressed and hands to the cut and the encoder.
struct RingtoneSettings {
    int32_t startMs = 0;
    int32_t endMs = 20000;
    int32_t fadeMs = 0;   // used for the fade-in and the fade-out alike
    float amplify = 1.0f; // 0.5 to 1.5
    bool stereo = false;
    int32_t outSampleRate = 44100;    // 44100, 22050 or 11025
    bool snapToZeroCrossings = false; // each end of the cut moves to a zero crossing nearby
    RingtoneFormat format = RingtoneFormat::Mp3;
};

// The fade length that suits a selection of `selectionMs`: none for 3 s or less, then 1 s up to
// 5 s, 2 s up to 10 s and 2.5 s beyond. The preview and the ringtone use the same length.
int32_t FadeLengthForSelection(int32_t selectionMs);

// The shortest selection that makes a ringtone. Anything shorter (an edge dragged onto the other)
// would encode into a file of encoder padding that only looks like a ringtone.
constexpr int32_t kShortestRingtoneMs = 1000;

// Whether startMs..endMs is long enough to become a ringtone.
bool IsLongEnoughForRingtone(int64_t startMs, int64_t endMs);

} // namespace orvanta
