#!/usr/bin/env bash
# Encode benchmark: orvanta-cli encode against lame -m m on a 20-second ringtone.
#
#   bash bench/encode_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7)
# sets how many timed runs each encoder gets.
#
# Exits non-zero only when a command fails or the two MP3 files differ; a missed
# speed target is reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_require

bench_make_work encode

ring_seconds=20

echo "== Orvanta encode benchmark"
echo "orvanta-cli: $orvanta"
echo "lame:        $(command -v lame) ($(lame --version 2>/dev/null | head -n 1))"
echo "runs:        $runs per encoder"
echo

echo "-- making inputs in $work"
make_ring_wav "$work/ring.wav" "$ring_seconds"
echo

ours_log="$work/orvanta.log"
peer_log="$work/lame.log"
peer_name=lame
encode_ours() { "$orvanta" encode "$work/ring.wav" "$work/ours.mp3" 2>>"$ours_log"; }
encode_lame() { lame --quiet --noreplaygain -m m "$work/ring.wav" "$work/lame.mp3" 2>>"$peer_log"; }
clear_outputs() { rm -f "$work/ours.mp3" "$work/lame.mp3"; }

echo "-- speed: mono MP3 of the ${ring_seconds}-second WAV, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache.
warm_up "orvanta-cli encode failed (warm-up)" encode_ours
warm_up "lame failed (warm-up)" encode_lame
compare_runs lame 0.8 clear_outputs encode_ours encode_lame

status=0
if cmp -s "$work/ours.mp3" "$work/lame.mp3"; then
    outputs="identical"
    printf 'outputs: identical (%d bytes)\n' "$(stat -c %s "$work/ours.mp3")"
else
    outputs="DIFFER"
    echo "outputs: DIFFER"
    cmp "$work/ours.mp3" "$work/lame.mp3" | head -n 1 || true
    status=1
fi
echo

echo "== summary"
printf 'speed:  ratio %.3f (orvanta-cli %.3f s, lame %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
echo "outputs: $outputs"
exit "$status"
