// Times the edit page's loudness reading of a selection: the first one on a fresh index, then one
// after each move of the selection once the idle thread has measured the file ahead.
//
//   orvanta_meter_bench WORK.wav SELECTION_MS RUNS
//
// Prints "cold MS" and one "moved MS" line a run, in milliseconds.
#include "Loudness.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

double TimeOneReading(orvanta::LoudnessIndex& index, int32_t startMs, int32_t lengthMs) {
    const auto start = std::chrono::steady_clock::now();
    const auto figures = index.Measure(startMs, startMs + lengthMs);
    const auto end = std::chrono::steady_clock::now();
    if (!figures) {
        std::fprintf(stderr, "could not measure\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: orvanta_meter_bench WORK.wav SELECTION_MS RUNS\n");
        return 2;
    }
    const int32_t lengthMs = std::atoi(argv[2]);
    const int runs = std::atoi(argv[3]);
    orvanta::LoudnessIndex index(argv[1]);
    std::printf("cold %.3f\n", TimeOneReading(index, 0, lengthMs));
    while (index.MeasureNextPiece()) {
    }
    for (int run = 0; run < runs; ++run) {
        // A drag moves the selection by a fraction of a second between readings.
        std::printf("moved %.3f\n", TimeOneReading(index, 1000 + run * 1370, lengthMs));
    }
    return 0;
}
