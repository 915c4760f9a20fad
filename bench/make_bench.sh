#!/usr/bin/env bash
# Whole-chain benchmark: orvanta-cli make (decode up to the selection's end,
# 20-second cut with fades, mono encode) on a 5-minute MP3 against lame doing the
# two heavy steps, decoding the whole source and encoding a 20-second WAV to mono;
# then against lame --decode of the whole source alone (target: ratio <= 0.300).
#
#   bash bench/make_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7)
# sets how many timed runs each side gets.
#
# Exits non-zero only when a command fails, orvanta-cli make prints an
# unexpected path, or its ringtone differs from the same chain run step by step
# (orvanta-cli decode and cut, then lame -m m); a missed speed target is
# reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_require

bench_make_work make

source_seconds=300    # 5 minutes
ring_ms=20000         # what orvanta-cli make cuts by default: 0..20000 ms
fade_ms=2500          # and the fades it uses on a 20-second selection
target=1.1
decode_target=0.3

echo "== Orvanta make benchmark"
echo "orvanta-cli: $orvanta"
echo "lame:        $(command -v lame) ($(lame --version 2>/dev/null | head -n 1))"
echo "runs:        $runs per side"
echo

echo "-- making inputs in $work"
t0=$EPOCHREALTIME
make_music_wav "$work/source.wav" "$source_seconds"
lame --quiet -b 128 "$work/source.wav" "$work/source.mp3"
rm -f "$work/source.wav"
# The peer's 20-second WAV: the decoded source trimmed to the ringtone length,
# prepared once so each peer run is exactly one decode and one encode.
lame --quiet --decode "$work/source.mp3" "$work/decoded.wav"
sox -V1 "$work/decoded.wav" "$work/peer20.wav" trim 0 "$(calc "$ring_ms / 1000")"
rm -f "$work/decoded.wav"
t1=$EPOCHREALTIME
printf '%d-minute 128 kbps stereo MP3: %d bytes\n' "$((source_seconds / 60))" "$(stat -c %s "$work/source.mp3")"
printf '%d-second peer WAV: %d bytes\n' "$((ring_ms / 1000))" "$(stat -c %s "$work/peer20.wav")"
printf 'inputs made in %.1f s\n' "$(calc "$t1 - $t0")"
echo

ours_log="$work/orvanta.log"
peer_log="$work/lame.log"
peer_name=lame
ringtone="$work/source_ringtone.mp3"
make_ours() { "$orvanta" make "$work/source.mp3" >"$work/make.out" 2>>"$ours_log"; }
make_lame() {
    lame --quiet --decode "$work/source.mp3" "$work/peer.wav" 2>>"$peer_log" &&
        lame --quiet --noreplaygain -m m "$work/peer20.wav" "$work/peer.mp3" 2>>"$peer_log"
}
decode_lame() { lame --quiet --decode "$work/source.mp3" "$work/peer.wav" 2>>"$peer_log"; }
clear_outputs() { rm -f "$ringtone" "$work/peer.wav" "$work/peer.mp3"; }

status=0
echo "-- speed: ringtone from the ${source_seconds}-second MP3, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache.
warm_up "orvanta-cli make failed (warm-up)" make_ours
warm_up "lame failed (warm-up)" make_lame
printed=$(cat "$work/make.out")
if [[ "$printed" != "$ringtone" || ! -s "$ringtone" ]]; then
    echo "orvanta-cli make printed '$printed', expected '$ringtone' (a non-empty file)"
    status=1
fi
compare_runs lame "$target" clear_outputs make_ours make_lame
printf 'ringtones: orvanta-cli %d bytes   lame %d bytes\n' \
    "$(stat -c %s "$ringtone")" "$(stat -c %s "$work/peer.mp3")"
chain_ratio=$ratio chain_verdict=$verdict chain_ours=$ours_median chain_peer=$peer_median
echo

echo "-- speed: ringtone against lame --decode of the whole song alone, $runs runs each"
compare_runs "lame --decode" "$decode_target" clear_outputs make_ours decode_lame

# The ringtone must be what the chain gives step by step: decode, cut with
# fades, then LAME's encoder in mono. Checked once, untimed.
"$orvanta" decode "$work/source.mp3" "$work/step.wav" 2>>"$ours_log" ||
    { show_logs; die "orvanta-cli decode failed"; }
"$orvanta" cut --fade "$fade_ms" "$work/step.wav" "$work/step_ring.wav" 0 "$ring_ms" 2>>"$ours_log" ||
    { show_logs; die "orvanta-cli cut failed"; }
lame --quiet --noreplaygain -m m "$work/step_ring.wav" "$work/step.mp3" 2>>"$peer_log" ||
    { show_logs; die "lame failed on the step-by-step ringtone"; }
if cmp -s "$ringtone" "$work/step.mp3"; then
    outputs="identical"
    echo "ringtone vs decode + cut + lame -m m: identical"
else
    outputs="DIFFER"
    echo "ringtone vs decode + cut + lame -m m: DIFFER"
    cmp "$ringtone" "$work/step.mp3" | head -n 1 || true
    status=1
fi
echo

echo "== summary"
printf 'speed:  ratio %.3f (orvanta-cli %.3f s, lame decode + encode %.3f s median): %s\n' \
    "$chain_ratio" "$chain_ours" "$chain_peer" "$chain_verdict"
printf 'decode: ratio %.3f (orvanta-cli %.3f s, lame --decode %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
echo "ringtone: $outputs"
exit "$status"
