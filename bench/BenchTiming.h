#pragma once

// The timing the in-process benchmark drivers share: the median of a number of timed runs, and
// one report line against a fixed target.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

// Milliseconds of the median run; `prepare` runs untimed before each, told the run's index.
inline double MedianMs(int runs, const std::function<void(int)>& prepare,
                       const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare(i);
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
    }
    std::sort(times.begin(), times.end());
    const auto middle = times.size() / 2;
    return times.size() % 2 != 0 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
}

// Prints what was timed, its median and whether it met `targetMs`; true when it did.
inline bool Report(const char* what, double ms, double targetMs) {
    const bool met = ms < targetMs;
    std::printf("%-44s median %8.3f ms (target < %g ms): %s\n", what, ms, targetMs,
                met ? "target met" : "target missed");
    return met;
}

} // namespace bench
