#pragma once

#include "Loudness.h"

namespace orvanta {

// Where loudness normalisation aims: an integrated loudness and a true-peak ceiling.
struct NormalizeTarget {
    static constexpr double kDefaultLufs = -14.0; // the level of the mobile streaming services
    static constexpr double kLowestLufs = -30.0;
    static constexpr double kHighestLufs = -5.0;
    static constexpr double kDefaultCeilingDbtp = -1.0;
    static constexpr double kLowestCeilingDbtp = -9.0;
    static constexpr double kHighestCeilingDbtp = 0.0;
    // A near-silent selection would otherwise ask for a gain that only lifts the noise.
    static constexpr double kLargestGainDb = 20.0;

    double lufs = kDefaultLufs;
    double ceilingDbtp = kDefaultCeilingDbtp;
    // The ringtone will be encoded in mono: its loudness is that of the channels' mix, which for
    // a wide stereo recording lies up to 6 LU under that of the two channels.
    bool mono = false;

    bool InRange() const;
};

// What a normalised cut found and did.
struct NormalizeResult {
    LoudnessFigures before; // the selection with its fades, before any gain (no peaks)
    LoudnessFigures after;  // the ringtone as written
    double gainDb = 0.0;
    bool capped = false;       // the gain stopped at kLargestGainDb
    bool limited = false;      // the limiter lowered some peaks
    LoudnessFigures encoded;   // the MP3, decoded again
    bool encodedTwice = false; // the encoder's drift was corrected by further encodes
};

// The gain that takes `measuredLufs` to `target`, capped; 0 dB when it is unmeasurable.
double NormalizeGainDb(const LoudnessFigures& measured, const NormalizeTarget& target);

} // namespace orvanta
