#include "Normalize.h"

#include <algorithm>

namespace orvanta {

bool NormalizeTarget::InRange() const {
    return lufs >= kLowestLufs && lufs <= kHighestLufs && ceilingDbtp >= kLowestCeilingDbtp &&
           ceilingDbtp <= kHighestCeilingDbtp;
}

double NormalizeGainDb(const LoudnessFigures& measured, const NormalizeTarget& target) {
    if (!measured.Measurable()) {
        return 0.0;
    }
    return std::min(target.lufs - measured.integratedLufs, NormalizeTarget::kLargestGainDb);
}

} // namespace orvanta
