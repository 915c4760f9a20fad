#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace orvanta {

// How far either end of a cut may move to reach a zero crossing.
inline constexpr int32_t kSnapWindowMs = 5;

// Among the frames within `radius` of `centre` in interleaved 16-bit `samples` of `channels`
// (1 or 2) channels, the one beside a change of sign in any channel (to the frame before or
// after it) whose magnitudes summed over the channels are smallest; the nearer to `centre` wins a
// tie. A sample of 0 counts as positive, so silence and a stretch that only touches zero from
// above hold no crossing. nullopt when no frame of the window qualifies.
std::optional<uint32_t> FindZeroCrossing(std::span<const int16_t> samples, uint32_t channels,
                                         uint32_t centre, uint32_t radius);

} // namespace orvanta
