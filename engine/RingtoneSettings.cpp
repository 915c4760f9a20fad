#include "RingtoneSettings.h"

namespace orvanta {

int32_t FadeLengthForSelection(int32_t selectionMs) {
    if (selectionMs <= 3000) {
        return 0;
    }
    if (selectionMs <= 5000) {
        return 1000;
    }
    if (selectionMs <= 10000) {
        return 2000;
    }
    return 2500;
}

bool IsLongEnoughForRingtone(int64_t startMs, int64_t endMs) {
    return endMs - startMs >= kShortestRingtoneMs;
}

} // namespace orvanta
