#!/usr/bin/env bash
# Wave editor benchmark: the editor on the peak file of a 60-minute stereo working WAV. Times
# building the per-column extremes at the fit zoom and at 128 frames a column, one full paint of
# the edit page's 651 x 168 view, and one step of a band drag, as medians; and weighs the peak
# values and the extremes against the peak file.
#
#   bash bench/editor_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7) sets how many
# timed runs each measurement gets.
#
# Exits non-zero only when a command fails; a missed target is reported but does not fail the run.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
editor_bench="$build_dir/editor/tests/orvanta_editor_bench"
bench_require
[[ -x "$editor_bench" ]] ||
    die "$editor_bench not found; build it with: cmake --build $build_dir --target orvanta_editor_bench"

bench_make_work editor

echo "== Orvanta wave editor benchmark"
echo "orvanta-cli:  $orvanta"
echo "editor bench: $editor_bench"
echo "runs:         $runs per measurement"
echo

echo "-- making inputs in $work"
make_hour_work "$work/work.wav" "$work/work.wfp"
printf '60-minute working WAV: %d bytes, %d frames; peak file: %d bytes\n' \
    "$(stat -c %s "$work/work.wav")" "$(sox --i -s "$work/work.wav")" \
    "$(stat -c %s "$work/work.wfp")"
echo

echo "-- editor on the hour, $runs runs each"
QT_QPA_PLATFORM=offscreen "$editor_bench" "$work/work.wav" "$work/work.wfp" "$runs"
