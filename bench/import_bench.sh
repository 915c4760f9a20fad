#!/usr/bin/env bash
# Import benchmark: the import of a 5-minute MP3 (the decode and the peak file, built from the
# samples as they are written) against `lame --decode` alone, twice: through the import page's
# Next (behind the real progress window, on Qt's offscreen platform) and through
# `orvanta-cli decode --peaks`. Both must write what `orvanta-cli decode` followed by
# `orvanta-cli peaks` writes.
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

echo "== Orvanta import benchmark"
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
    "$orvanta" decode "$work/song.mp3" "$work/one.wav" --peaks "$work/one.wfp" 2>>"$ours_log"
}
decode_lame() { lame --quiet --decode "$work/song.mp3" "$work/lame.wav" 2>>"$peer_log"; }
clear_outputs() { rm -f "$work/one.wav" "$work/one.wfp" "$work/lame.wav"; }
ours_log="$work/ours.log"
peer_log="$work/lame.log"
peer_name="lame"

# One untimed run of each first so all start with the input in the page cache; the page's run
# keeps its files for the comparison below.
warm_up "the import through the page failed (warm-up)" \
    "$driver" "$strings" "$work/song.mp3" "$work/kept"
warm_up "orvanta-cli decode --peaks failed (warm-up)" import_cli
warm_up "lame --decode failed (warm-up)" decode_lame

echo "-- speed: import through the page against lame --decode, $runs runs each, alternating"
ours_label=page
compare_runs "lame --decode" 0.65 clear_outputs import_page decode_lame
page_ratio=$ratio page_median=$ours_median page_peer=$peer_median page_verdict=$verdict
echo
echo "-- speed: orvanta-cli decode --peaks against lame --decode, $runs runs each, alternating"
ours_label="decode --peaks"
compare_runs "lame --decode" 0.65 clear_outputs import_cli decode_lame
echo

status=0
import_cli || die "orvanta-cli decode --peaks failed"
# The two-pass way: decode, then read the finished WAV for its peak file.
if ! { "$orvanta" decode "$work/song.mp3" "$work/two.wav" 2>>"$ours_log" &&
    "$orvanta" peaks "$work/two.wav" "$work/two.wfp" 2>>"$ours_log"; }; then
    die "orvanta-cli decode or peaks failed"
fi
for kind in wav wfp; do
    if cmp -s "$work/kept/work.$kind" "$work/two.$kind" &&
        cmp -s "$work/one.$kind" "$work/two.$kind"; then
        printf '%s: identical (%d bytes)\n' "$kind" "$(stat -c %s "$work/two.$kind")"
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
printf 'page import:    ratio %.3f (page %.3f s, lame --decode %.3f s median): %s\n' \
    "$page_ratio" "$page_median" "$page_peer" "$page_verdict"
printf 'decode --peaks: ratio %.3f (orvanta-cli %.3f s, lame --decode %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
exit "$status"
