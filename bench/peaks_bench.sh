#!/usr/bin/env bash
# Peak file benchmark: orvanta-cli peaks on a 5-minute working WAV against
# reading the same file with cat (the floor for any pass over the samples).
#
#   bash bench/peaks_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7)
# sets how many timed runs each side gets.
#
# Exits non-zero only when a command fails or the peak file does not have the
# expected size; a missed speed target is reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_require

bench_make_work peaks

work_seconds=300      # 5 minutes
target=4.0            # a few times the read floor at most
frames_per_peak=128

echo "== Orvanta peak file benchmark"
echo "orvanta-cli: $orvanta"
echo "cat:         $(command -v cat) ($(cat --version 2>/dev/null | head -n 1))"
echo "runs:        $runs per side"
echo

echo "-- making inputs in $work"
make_music_wav "$work/work.wav" "$work_seconds"
frames=$(sox --i -s "$work/work.wav")
channels=$(sox --i -c "$work/work.wav")
wav_bytes=$(stat -c %s "$work/work.wav")
printf '%d-minute working WAV: %d bytes, %d frames, %d channels, 16-bit, %d Hz\n' \
    "$((work_seconds / 60))" "$wav_bytes" "$frames" "$channels" "$rate"
echo

ours_log="$work/orvanta.log"
peer_log="$work/cat.log"
peer_name="cat"
peaks_ours() { "$orvanta" peaks "$work/work.wav" "$work/out.wfp" 2>>"$ours_log"; }
read_floor() { cat "$work/work.wav" >/dev/null 2>>"$peer_log"; }
clear_outputs() { rm -f "$work/out.wfp"; }

echo "-- speed: peak file of the ${work_seconds}-second WAV vs reading it, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache.
warm_up "orvanta-cli peaks failed (warm-up)" peaks_ours
warm_up "cat failed (warm-up)" read_floor
compare_runs cat "$target" clear_outputs peaks_ours read_floor
printf 'throughput: orvanta-cli %.0f MB/s   cat %.0f MB/s (1 MB = 10^6 bytes)\n' \
    "$(calc "$wav_bytes / $ours_median / 1e6")" "$(calc "$wav_bytes / $peer_median / 1e6")"

# The peak file holds a 4-byte channel count, then one 16-bit sample per
# channel for every started block of 128 frames.
status=0
# shellcheck disable=SC2017  # the division is the rounding up, on purpose
expected=$((4 + (frames + frames_per_peak - 1) / frames_per_peak * 2 * channels))
actual=$(stat -c %s "$work/out.wfp")
if ((actual == expected)); then
    size_check="as expected"
    printf 'peak file: %d bytes = 4 + ceil(%d / %d) * 2 * %d: as expected\n' \
        "$actual" "$frames" "$frames_per_peak" "$channels"
else
    size_check="WRONG SIZE"
    printf 'peak file: %d bytes, expected 4 + ceil(%d / %d) * 2 * %d = %d: WRONG SIZE\n' \
        "$actual" "$frames" "$frames_per_peak" "$channels" "$expected"
    status=1
fi
echo

echo "== summary"
printf 'speed:  ratio %.3f (orvanta-cli %.3f s, cat %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
printf 'peak file size: %s\n' "$size_check"
exit "$status"
