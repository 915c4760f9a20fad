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

# bench_format FORMAT WHAT PEER_NAME PEER_LABEL EXPECTED: one format against its peer, alternating
# runs; leaves the summary line in $summary.
bench_format() {
    local format=$1 what=$2 expected=$5
    peer_name=$3
    echo "-- speed: stereo $what of the ${ring_seconds}-second WAV, $runs runs each, alternating"
    warm_up "orvanta-cli encode --format $format failed (warm-up)" "${format}_ours"
    warm_up "$peer_name failed (warm-up)" "${format}_peer"
    compare_runs "$4" 1.2 clear_outputs "${format}_ours" "${format}_peer"
    summary=$(printf 'ratio %.3f (orvanta-cli %.3f s, %s %.3f s median): %s' \
        "$ratio" "$ours_median" "$peer_name" "$peer_median" "$verdict")
    check_output "$work/ours.$format" "$expected"
    echo
}

bench_format m4r "M4R (AAC 128 kbit/s)" ffmpeg "ffmpeg -c:a aac" "aac M4A "
m4r_summary=$summary
bench_format ogg "Ogg Vorbis (quality 0.4)" oggenc "oggenc -q 4" "vorbis"
ogg_summary=$summary

echo "== summary"
echo "m4r: $m4r_summary"
echo "ogg: $ogg_summary"
exit "$status"
