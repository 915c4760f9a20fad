#!/usr/bin/env bash
# Precise selection benchmark: the edit page on the peak file of a 60-minute stereo working WAV.
# Times an arrow key's nudge until the waveform is painted again, a typed Start until the band is
# painted (snapping off and on) and the zero-crossing search for one end of a cut, as medians
# against fixed targets (there is no peer to run beside them).
#
#   bash bench/selection_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7) sets how many
# timed runs each measurement gets.
#
# Exits non-zero only when a command fails; a missed target is reported but does not fail the run.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_window_program orvanta_selection_bench selection
export ORVANTA_AUDIO_SINK="fakesink"

echo "== Orvanta precise selection benchmark"
echo "driver:      $driver"
echo "orvanta-cli: $orvanta"
echo "runs:        $runs per measurement"
echo

echo "-- making inputs in $work"
make_hour_work "$work/work.wav" "$work/work.wfp"
printf '60-minute working WAV: %d bytes; peak file: %d bytes\n' \
    "$(stat -c %s "$work/work.wav")" "$(stat -c %s "$work/work.wfp")"
echo

echo "-- edit page on the hour, $runs runs each"
"$driver" "$strings" "$work/work.wav" "$work/work.wfp" "$runs"
