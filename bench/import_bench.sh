#!/usr/bin/env bash
# Import page benchmark: the import page's Next on a 5-minute MP3 (the decode and the peak file
# behind the real progress window, on Qt's offscreen platform) against `orvanta-cli decode`
# followed by `orvanta-cli peaks` on the same file.
#
#   bash bench/import_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root and must hold
# bench/orvanta_import_page as well as cli/orvanta-cli. BENCH_RUNS (default 7) sets how many
# timed runs each side gets.
#
# Exits non-zero only when a command fails or the two sides' files differ; a missed target is
# reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_window_program orvanta_import_page import
# The page's private working folders go into a folder of the run's own too, which must be
# empty again when the page is done.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/kept"

echo "== Orvanta import page benchmark"
echo "page:        $driver"
echo "orvanta-cli: $orvanta"
echo "runs:        $runs per side"
echo

echo "-- making a 5-minute 128 kbps MP3 in $work"
make_music_wav "$work/song.wav" 300
lame --quiet -b 128 "$work/song.wav" "$work/song.mp3"
rm -f "$work/song.wav"
printf '5-minute MP3: %d bytes\n' "$(stat -c %s "$work/song.mp3")"
echo

import_page() { "$driver" "$strings" "$work/song.mp3" 2>>"$ours_log"; }
import_cli() {
    "$orvanta" decode "$work/song.mp3" "$work/cli.wav" 2>>"$peer_log" &&
        "$orvanta" peaks "$work/cli.wav" "$work/cli.wfp" 2>>"$peer_log"
}
clear_outputs() { rm -f "$work/cli.wav" "$work/cli.wfp"; }
ours_log="$work/page.log"
peer_log="$work/orvanta-cli.log"
ours_label=page
peer_name="orvanta-cli"

echo "-- speed: import of the 5-minute MP3, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache; the page's run
# keeps its files for the comparison below.
warm_up "the import through the page failed (warm-up)" \
    "$driver" "$strings" "$work/song.mp3" "$work/kept"
warm_up "orvanta-cli decode or peaks failed (warm-up)" import_cli
compare_runs orvanta-cli 1.1 clear_outputs import_page import_cli

status=0
import_cli || die "orvanta-cli decode or peaks failed"
for kind in wav wfp; do
    if cmp -s "$work/kept/work.$kind" "$work/cli.$kind"; then
        printf '%s: identical (%d bytes)\n' "$kind" "$(stat -c %s "$work/cli.$kind")"
    else
        echo "$kind: DIFFER"
        status=1
    fi
done
if [[ -n "$(ls -A "$TMPDIR")" ]]; then
    echo "the page left files behind in $TMPDIR"
    status=1
fi
echo

echo "== summary"
printf 'speed: ratio %.3f (page %.3f s, orvanta-cli %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
exit "$status"
