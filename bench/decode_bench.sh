#!/usr/bin/env bash
# Decode benchmark: orvanta-cli decode against lame --decode.
#
#   bash bench/decode_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7)
# sets how many timed runs each decoder gets on the 5-minute file. BASELINE, when
# set, names another orvanta-cli (today's decode, say) that both then run on one
# core (taskset -c 0), where ours must stay within 1.05 times it.
#
# Exits non-zero only when a command fails or the two decoders' outputs differ;
# a missed speed or memory target is reported but does not fail the run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_require /usr/bin/time:time

bench_make_work decode

short_seconds=300     # 5 minutes
long_repeats=12       # 12 x 5 minutes = 60 minutes

echo "== Orvanta decode benchmark"
echo "orvanta-cli: $orvanta"
echo "lame:        $(command -v lame) ($(lame --version 2>/dev/null | head -n 1))"
echo "runs:        $runs per decoder"
echo

echo "-- making inputs in $work"
t0=$(date +%s.%N)
make_phrase "$work/phrase.wav"
make_signal "$work/phrase.wav" "$short_seconds" "$work/short.wav"
lame --quiet -b 128 "$work/short.wav" "$work/short.mp3"
# The 60-minute source: the 5-minute PCM played 12 times, streamed into lame
# (raw PCM, so no WAV header length has to be guessed by sox). lame warns on
# stderr about raw input even with --quiet, so its stderr goes to a log that is
# shown only if the encode fails.
if ! sox -V1 "$work/short.wav" -t raw - repeat $((long_repeats - 1)) |
    lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -b 128 - "$work/long.mp3" \
        2>"$work/encode.log"; then
    cat "$work/encode.log" >&2
    die "making the 60-minute MP3 failed"
fi
rm -f "$work/short.wav"
t1=$(date +%s.%N)
printf '5-minute MP3:  %d bytes\n' "$(stat -c %s "$work/short.mp3")"
printf '60-minute MP3: %d bytes\n' "$(stat -c %s "$work/long.mp3")"
printf 'inputs made in %.1f s\n' "$(calc "$t1 - $t0")"
echo

# ---------------------------------------------------------------------------
# Speed: 5-minute file, decoders alternating
# ---------------------------------------------------------------------------

run_orvanta() { "$orvanta" decode "$1" "$2" 2>>"$ours_log"; }
run_lame() { lame --quiet --decode "$1" "$2" 2>>"$peer_log"; }
ours_log="$work/orvanta.log"
peer_log="$work/lame.log"
peer_name=lame

echo "-- speed: 5-minute 128 kbps MP3, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache.
warm_up "orvanta-cli decode failed (warm-up)" run_orvanta "$work/short.mp3" "$work/ours.wav"
warm_up "lame --decode failed (warm-up)" run_lame "$work/short.mp3" "$work/lame.wav"

clear_outputs() { rm -f "$work/ours.wav" "$work/lame.wav"; }
decode_ours() { run_orvanta "$work/short.mp3" "$work/ours.wav"; }
decode_lame() { run_lame "$work/short.mp3" "$work/lame.wav"; }
compare_runs lame 0.6 clear_outputs decode_ours decode_lame
speed_summary=$(printf 'ratio %.3f (orvanta-cli %.3f s, lame %.3f s median): %s' \
    "$ratio" "$ours_median" "$peer_median" "$verdict")

status=0
if cmp -s "$work/ours.wav" "$work/lame.wav"; then
    printf 'outputs: identical (%d bytes)\n' "$(stat -c %s "$work/ours.wav")"
else
    echo "outputs: DIFFER"
    cmp "$work/ours.wav" "$work/lame.wav" | head -n 1 || true
    status=1
fi
rm -f "$work/ours.wav" "$work/lame.wav"
echo

# ---------------------------------------------------------------------------
# Speed on one core against a baseline build, when one is named
# ---------------------------------------------------------------------------

one_core_verdict="not run (no BASELINE)"
if [[ -n "${BASELINE:-}" ]]; then
    bench_require taskset
    [[ -x "$BASELINE" ]] || die "BASELINE is not an executable: $BASELINE"
    run_one_core_ours() { taskset -c 0 "$orvanta" decode "$work/short.mp3" "$work/ours.wav" 2>>"$ours_log"; }
    run_one_core_base() { taskset -c 0 "$BASELINE" decode "$work/short.mp3" "$work/base.wav" 2>>"$peer_log"; }
    clear_one_core() { rm -f "$work/ours.wav" "$work/base.wav"; }
    echo "-- speed on one core: 5-minute 128 kbps MP3 against $BASELINE"
    warm_up "orvanta-cli decode failed on one core" run_one_core_ours
    warm_up "the baseline decode failed on one core" run_one_core_base
    compare_runs baseline 1.05 clear_one_core run_one_core_ours run_one_core_base
    one_core_verdict=$(printf 'ratio %.3f (orvanta-cli %.3f s, baseline %.3f s median): %s' \
        "$ratio" "$ours_median" "$peer_median" "$verdict")
    if ! cmp -s "$work/ours.wav" "$work/base.wav"; then
        echo "outputs: DIFFER from the baseline's"
        status=1
    fi
    rm -f "$work/ours.wav" "$work/base.wav"
    echo
fi

# ---------------------------------------------------------------------------
# Peak memory: 60-minute file
# ---------------------------------------------------------------------------

echo "-- peak memory: 60-minute 128 kbps MP3"
# Runs "$@" under /usr/bin/time and prints its max RSS in KiB.
peak_kib() {
    local report="$work/time.out"
    if ! /usr/bin/time -f %M -o "$report" "$@"; then
        echo "error: command failed: $*" >&2
        return 1
    fi
    tail -n 1 "$report"
}

ours_kib=$(peak_kib "$orvanta" decode "$work/long.mp3" "$work/ours.wav" 2>>"$work/orvanta.log") ||
    { sed 's/^/  orvanta-cli: /' "$work/orvanta.log" >&2; die "orvanta-cli decode failed on the 60-minute file"; }
lame_kib=$(peak_kib lame --quiet --decode "$work/long.mp3" "$work/lame.wav" 2>>"$work/lame.log") ||
    die "lame --decode failed on the 60-minute file"

limit_kib=$((20 * 1024))
printf 'orvanta-cli: %.1f MB (%d KiB)\n' "$(calc "$ours_kib / 1024")" "$ours_kib"
printf 'lame:        %.1f MB (%d KiB)\n' "$(calc "$lame_kib / 1024")" "$lame_kib"
if ((ours_kib < limit_kib)); then mem_verdict="target met"; else mem_verdict="target missed"; fi
echo "orvanta-cli under 20 MB (1 MB = 1024 KiB): $mem_verdict"

wav_bytes=$(stat -c %s "$work/ours.wav")
printf 'decoded: %d bytes (%.1f min of 16-bit stereo at %d Hz)\n' "$wav_bytes" \
    "$(calc "($wav_bytes - 44) / (4 * $rate * 60)")" "$rate"
if cmp -s "$work/ours.wav" "$work/lame.wav"; then
    echo "outputs: identical"
else
    echo "outputs: DIFFER"
    cmp "$work/ours.wav" "$work/lame.wav" | head -n 1 || true
    status=1
fi
echo

echo "== summary"
printf 'speed:  %s\n' "$speed_summary"
printf 'one core: %s\n' "$one_core_verdict"
printf 'memory: orvanta-cli %.1f MB, lame %.1f MB on 60 minutes: %s\n' \
    "$(calc "$ours_kib / 1024")" "$(calc "$lame_kib / 1024")" "$mem_verdict"
if ((status == 0)); then echo "outputs: identical"; else echo "outputs: DIFFER"; fi
exit "$status"
