#!/usr/bin/env bash
# Preview player latency benchmark: how long the preview player takes from PlayWithFade to the
# first buffer its sink renders, and from Stop to the "Stopped" event, as the edit page drives
# it (selection 0..5000 ms with 1000 ms fades, stopped after 200 ms of playing).
#
#   bash bench/player_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 20 here) sets how
# many runs are timed. The sink is "fakesink sync=true", which keeps real time like a sound card
# without needing one. There is no peer to run side by side: the targets are absolute.
#
# Exits non-zero only when the player fails; a missed target is reported but does not fail the
# run.
set -euo pipefail
export LC_ALL=C

: "${BENCH_RUNS:=20}"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"

bench_bin="$build_dir/player/orvanta_player_bench"
[[ -x "$bench_bin" ]] || die "$bench_bin not found; build it with: cmake --build $build_dir --target orvanta_player_bench"
command -v sox >/dev/null || die "sox is not installed (apt-get install sox)"

bench_make_work player

work_seconds=10
target_ms=100

echo "== Orvanta preview player latency benchmark"
echo "benchmark: $bench_bin"
echo "runs:      $runs"
echo

echo "-- making inputs in $work"
make_music_wav "$work/work.wav" "$work_seconds"
echo "${work_seconds}-second 16-bit stereo working WAV at $rate Hz"
echo

echo "-- $runs runs: PlayWithFade -> first rendered buffer, Stop -> \"Stopped\""
"$bench_bin" "$work/work.wav" "$runs" | tee "$work/runs.txt"

play_median=$(awk '{ print $4 }' "$work/runs.txt" | median)
stop_median=$(awk '{ print $6 }' "$work/runs.txt" | median)
verdict() { if [[ "$(calc "$1 < $target_ms")" == 1 ]]; then echo "target met"; else echo "target missed"; fi; }
echo
echo "== summary"
printf 'play to first buffer: median %.3f ms (target < %d ms): %s\n' \
    "$play_median" "$target_ms" "$(verdict "$play_median")"
printf 'stop to "Stopped":    median %.3f ms (target < %d ms): %s\n' \
    "$stop_median" "$target_ms" "$(verdict "$stop_median")"
