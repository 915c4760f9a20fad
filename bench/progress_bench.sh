#!/usr/bin/env bash
# Progress window benchmark: a decode behind the real progress window (the window
# program's path, on Qt's offscreen platform) against the same decode through
# orvanta-cli decode, which reports to no window.
#
#   bash bench/progress_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root and must hold
# bench/orvanta_progress_decode as well as cli/orvanta-cli. BENCH_RUNS (default 7)
# sets how many timed runs each side gets on the 60-minute file.
#
# Exits non-zero only when a command fails or the two WAV files differ; a missed
# target is reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
# The window program's settings (the progress window's place) go to a profile of
# the run's own.
bench_window_program orvanta_progress_decode progress

echo "== Orvanta progress window benchmark"
echo "dialog:      $driver"
echo "orvanta-cli: $orvanta"
echo "runs:        $runs per side"
echo

echo "-- making a 60-minute 128 kbps MP3 in $work"
t0=$EPOCHREALTIME
make_hour_mp3 "$work/long.mp3" || die "making the 60-minute MP3 failed"
printf '60-minute MP3: %d bytes, made in %.1f s\n' "$(stat -c %s "$work/long.mp3")" \
    "$(calc "$EPOCHREALTIME - $t0")"
echo

decode_dialog() { "$driver" "$strings" "$work/long.mp3" "$work/dialog.wav" 2>>"$ours_log"; }
decode_cli() { "$orvanta" decode "$work/long.mp3" "$work/cli.wav" 2>>"$peer_log"; }
clear_outputs() { rm -f "$work/dialog.wav" "$work/cli.wav"; }
ours_log="$work/dialog.log"
peer_log="$work/orvanta-cli.log"
ours_label=dialog
peer_name="orvanta-cli"

echo "-- speed: 60-minute MP3, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache.
warm_up "the decode behind the progress window failed (warm-up)" decode_dialog
warm_up "orvanta-cli decode failed (warm-up)" decode_cli
compare_runs orvanta-cli 1.05 clear_outputs decode_dialog decode_cli

status=0
if cmp -s "$work/dialog.wav" "$work/cli.wav"; then
    printf 'outputs: identical (%d bytes)\n' "$(stat -c %s "$work/dialog.wav")"
else
    echo "outputs: DIFFER"
    cmp "$work/dialog.wav" "$work/cli.wav" | head -n 1 || true
    status=1
fi
echo

echo "== summary"
printf 'speed: ratio %.3f (dialog %.3f s, orvanta-cli %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
exit "$status"
