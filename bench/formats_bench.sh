#!/usr/bin/env bash
# Formats benchmark: orvanta-cli encode --format m4r against ffmpeg's AAC encoder, and
# --format ogg against oggenc, on a 30-second stereo ringtone WAV.
#
#   bash bench/formats_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7)
# sets how many timed runs each encoder gets.
#
# Exits non-zero only when a command fails or an output is not what its format
# promises (ffprobe: aac in an M4A-branded MP4, vorbis in Ogg); a missed speed
# target is reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_require ffmpeg:ffmpeg ffprobe:ffmpeg oggenc:vorbis-tools

bench_make_work formats

ring_seconds=30

echo "== Orvanta ringtone formats benchmark"
echo "orvanta-cli: $orvanta"
echo "ffmpeg:      $(command -v ffmpeg) ($(ffmpeg -version 2>/dev/null | head -n 1))"
echo "oggenc:      $(command -v oggenc) ($(oggenc --version 2>/dev/null | head -n 1))"
echo "runs:        $runs per encoder"
echo

echo "-- making inputs in $work"
make_ring_wav "$work/ring.wav" "$ring_seconds"
echo

ours_log="$work/orvanta.log"
peer_log="$work/peer.log"

# Both sides make stereo at 128 kbit/s (AAC) or Vorbis quality 0.4 (oggenc's -q 4).
m4r_ours() { "$orvanta" encode "$work/ring.wav" "$work/ours.m4r" --stereo --format m4r 2>>"$ours_log"; }
m4r_peer() {
    ffmpeg -nostdin -v error -y -i "$work/ring.wav" -c:a aac -b:a 128k "$work/peer.m4a" 2>>"$peer_log"
}
ogg_ours() { "$orvanta" encode "$work/ring.wav" "$work/ours.ogg" --stereo --format ogg 2>>"$ours_log"; }
ogg_peer() { oggenc --quiet -q 4 -o "$work/peer.ogg" "$work/ring.wav" 2>>"$peer_log"; }
clear_outputs() { rm -f "$work"/ours.* "$work"/peer.*; }

status=0
# Prints what ffprobe says of FILE and fails unless it holds EXPECTED.
check_output() {
    local file="$1" expected="$2" seen
    seen=$(ffprobe -v error -show_entries stream=codec_name:format_tags=major_brand \
        -of default=nw=1:nk=1 "$file" | tr '\n' ' ')
    printf 'output %s: %s\n' "$(basename "$file")" "$seen"
    [[ "$seen" == *"$expected"* ]] || { echo "error: expected $expected"; status=1; }
}

echo "-- speed: stereo M4R (AAC 128 kbit/s) of the ${ring_seconds}-second WAV, $runs runs each, alternating"
peer_name=ffmpeg
warm_up "orvanta-cli encode --format m4r failed (warm-up)" m4r_ours
warm_up "ffmpeg failed (warm-up)" m4r_peer
compare_runs "ffmpeg -c:a aac" 1.2 clear_outputs m4r_ours m4r_peer
m4r_summary=$(printf 'ratio %.3f (orvanta-cli %.3f s, ffmpeg %.3f s median): %s' \
    "$ratio" "$ours_median" "$peer_median" "$verdict")
check_output "$work/ours.m4r" "aac M4A "
echo

echo "-- speed: stereo Ogg Vorbis (quality 0.4) of the ${ring_seconds}-second WAV, $runs runs each, alternating"
peer_name=oggenc
warm_up "orvanta-cli encode --format ogg failed (warm-up)" ogg_ours
warm_up "oggenc failed (warm-up)" ogg_peer
compare_runs "oggenc -q 4" 1.2 clear_outputs ogg_ours ogg_peer
ogg_summary=$(printf 'ratio %.3f (orvanta-cli %.3f s, oggenc %.3f s median): %s' \
    "$ratio" "$ours_median" "$peer_median" "$verdict")
check_output "$work/ours.ogg" "vorbis"
echo

echo "== summary"
echo "m4r: $m4r_summary"
echo "ogg: $ogg_summary"
exit "$status"
