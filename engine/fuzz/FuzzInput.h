#pragma once

// How a fuzz input is laid out, shared by the fuzzer and the seed generator: the first byte
// chooses the file name's extension, the rest is the file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvanta::fuzz {

// ".dat" is judged by content alone; ".mp2" stands for every MPEG extension, which all take
// the same path.
inline constexpr std::array<std::string_view, 6> kExtensions{".wav", ".aif", ".mp3",
                                                             ".mp2", ".raw", ".dat"};

inline std::string_view ExtensionFor(uint8_t selector) {
    return kExtensions[selector % kExtensions.size()];
}

inline uint8_t SelectorFor(std::string_view extension) {
    for (std::size_t i = 0; i < kExtensions.size(); ++i) {
        if (kExtensions[i] == extension) {
            return static_cast<uint8_t>(i);
        }
    }
    return 0;
}

// Larger inputs only slow the search down; the readers' limits are all far below this.
inline constexpr std::size_t kMaxInputBytes = 1 << 20;

} // namespace orvanta::fuzz
