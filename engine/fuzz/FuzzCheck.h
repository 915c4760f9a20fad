#pragma once

// How a fuzzer reports a broken promise of the code under test: libFuzzer keeps the input of any
// abort, so the message says which promise the saved input breaks.

#include <cstdio>
#include <cstdlib>

namespace orvanta::fuzz {

[[noreturn]] inline void Violation(const char* what) {
    std::fprintf(stderr, "orvanta fuzz: %s\n", what);
    std::abort();
}

} // namespace orvanta::fuzz
