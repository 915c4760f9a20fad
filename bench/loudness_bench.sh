#!/usr/bin/env bash
# Loudness benchmark on a 5-minute MP3 and a 30-second selection (60 s to 90 s):
#   1. orvanta-cli make --normalize against plain orvanta-cli make (target: ratio <= 2.000);
#   2. orvanta-cli make --normalize against ffmpeg's loudnorm filter (I=-14, TP=-1) writing a
#      mono MP3 of the same selection (target: ratio < 1.000);
#   3. the edit page's loudness reading of a 40-second selection (orvanta_meter_bench), after
#      the idle thread has measured the file ahead (target: median < 50 ms).
# Both normalised MP3s are measured with ffmpeg's ebur128 filter and printed.
#
#   bash bench/loudness_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7) sets how many
# timed runs each side gets. Exits non-zero only when a command fails; a missed target is
# reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
meter_bench="$build_dir/bench/orvanta_meter_bench"
bench_require ffmpeg:ffmpeg
[[ -x "$meter_bench" ]] ||
    die "$meter_bench not found; build it with: cmake --build $build_dir --target orvanta_meter_bench"
bench_make_work loudness

echo "== Orvanta loudness benchmark"
echo "orvanta-cli: $orvanta"
echo "ffmpeg:      $(command -v ffmpeg) ($(ffmpeg -version | head -n 1))"
echo "runs:        $runs per side"
echo

echo "-- making inputs in $work"
make_music_wav "$work/source.wav" 300
lame --quiet -b 128 "$work/source.wav" "$work/source.mp3"
"$orvanta" decode "$work/source.mp3" "$work/work.wav"
rm -f "$work/source.wav"
echo

ours_log="$work/orvanta.log"
peer_log="$work/peer.log"
selection=(--start 60000 --end 90000)
make_normalized() { "$orvanta" make "$work/source.mp3" "${selection[@]}" --normalize >/dev/null 2>>"$ours_log"; }
make_plain() { "$orvanta" make "$work/source.mp3" "${selection[@]}" >/dev/null 2>>"$peer_log"; }
ffmpeg_loudnorm() {
    ffmpeg -nostdin -y -loglevel error -ss 60 -t 30 -i "$work/source.mp3" \
        -af loudnorm=I=-14:TP=-1 -ar 44100 -ac 1 -c:a libmp3lame "$work/ffmpeg.mp3" 2>>"$peer_log"
}
loudness_of() {
    ffmpeg -nostats -hide_banner -i "$1" -af ebur128=peak=true -f null - 2>&1 |
        awk '/^ +I:/ { i = $2 } /^ +Peak:/ { p = $2 } END { printf "%s LUFS, %s dBTP", i, p }'
}

echo "-- 1. make --normalize against plain make, $runs runs each, alternating"
warm_up "orvanta-cli make --normalize failed" make_normalized
warm_up "orvanta-cli make failed" make_plain
peer_name="plain make"
compare_runs "plain make" 2.0 : make_normalized make_plain
first_ratio=$ratio first_verdict=$verdict first_ours=$ours_median first_peer=$peer_median
cp "$work/source_ringtone.mp3" "$work/plain.mp3"
make_normalized
echo "normalised ringtone: $(loudness_of "$work/source_ringtone.mp3")"
echo

echo "-- 2. make --normalize against ffmpeg loudnorm, $runs runs each, alternating"
warm_up "ffmpeg loudnorm failed" ffmpeg_loudnorm
peer_name=ffmpeg
compare_runs "ffmpeg" 0.999999 : make_normalized ffmpeg_loudnorm
echo "ffmpeg loudnorm MP3:  $(loudness_of "$work/ffmpeg.mp3")"
echo

echo "-- 3. loudness reading of a 40-second selection"
"$meter_bench" "$work/work.wav" 40000 "$runs" >"$work/meter.out"
cat "$work/meter.out"
meter_median=$(awk '/^moved/ { print $2 }' "$work/meter.out" | median)
meter_verdict=$(awk -v m="$meter_median" 'BEGIN { print (m < 50 ? "target met" : "target missed") }')
echo

echo "== summary"
printf 'make --normalize vs make:    ratio %.3f (%.3f s vs %.3f s median): %s\n' \
    "$first_ratio" "$first_ours" "$first_peer" "$first_verdict"
printf 'make --normalize vs ffmpeg:  ratio %.3f (%.3f s vs %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$peer_median" "$verdict"
printf 'meter, 40-second selection:  %.1f ms median after a move (%s ms cold): %s\n' \
    "$meter_median" "$(awk '/^cold/ { print $2 }' "$work/meter.out")" "$meter_verdict"
