#!/usr/bin/env bash
# Decode benchmark: orvanta-cli decode against lame --decode.
#
#   bash bench/decode_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7)
# sets how many timed runs each decoder gets on the 5-minute file.
#
# Exits non-zero only when a command fails or the two decoders' outputs differ;
# a missed speed or memory target is reported but does not fail the run.
set -euo pipefail
export LC_ALL=C

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo_root="$(cd "$script_dir/.." && pwd)"

build_arg="${1:-build}"
if [[ "$build_arg" = /* ]]; then
    build_dir="$build_arg"
elif [[ -d "$build_arg" && $# -ge 1 ]]; then
    build_dir="$(cd "$build_arg" && pwd)"
else
    build_dir="$repo_root/$build_arg"
fi
orvanta="$build_dir/cli/orvanta-cli"

runs="${BENCH_RUNS:-7}"
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "BENCH_RUNS must be a positive integer (got '$runs')" >&2
    exit 2
fi

# Floating-point arithmetic on plain numbers: calc "1.5 / 3".
calc() { awk "BEGIN { printf \"%.9g\n\", $1 }"; }

die() {
    echo "error: $*" >&2
    exit 1
}

[[ -x "$orvanta" ]] || die "$orvanta not found; build it with: cmake -S $repo_root -B $build_dir -G Ninja && cmake --build $build_dir"
command -v lame >/dev/null || die "lame is not installed (apt-get install lame)"
command -v sox >/dev/null || die "sox is not installed (apt-get install sox)"
[[ -x /usr/bin/time ]] || die "/usr/bin/time is not installed (apt-get install time)"

work="$(mktemp -d "${TMPDIR:-/tmp}/orvanta-decode-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

rate=44100
short_seconds=300     # 5 minutes
long_repeats=12       # 12 x 5 minutes = 60 minutes

# ---------------------------------------------------------------------------
# Inputs
# ---------------------------------------------------------------------------

# A 3-second two-voice plucked phrase (8 notes of 0.375 s); the left and right
# channels play different notes, so the stereo image is not trivially mono.
make_phrase() {
    local out="$1" note parts=()
    local notes=(0 4 7 12 7 4 -5 -1)   # semitones above C4
    for note in "${notes[@]}"; do
        parts+=("|sox -V1 -n -r $rate -c 2 -p synth 0.375 pluck %$((note - 9)) pluck %$((note - 5)) fade 0 0.375 0.3")
    done
    sox -V1 "${parts[@]}" -b 16 "$out"
}

# Mix of the repeated phrase, a slowly beating low chord, a lowpassed square
# sweep and tremolo'd high-passed pink noise (hi-hat-like), trimmed to $2 s.
make_signal() {
    local phrase="$1" seconds="$2" out="$3"
    sox -V1 -m \
        -v 0.40 "|sox -V1 $phrase -p repeat $((seconds / 3))" \
        -v 0.25 "|sox -V1 -n -r $rate -c 2 -p synth $seconds sine 110 sine 164.8 tremolo 0.5 50" \
        -v 0.20 "|sox -V1 -n -r $rate -c 2 -p synth $seconds square 55-220 square 82.4-330 lowpass 1500" \
        -v 0.15 "|sox -V1 -n -r $rate -c 2 -p synth $seconds pinknoise pinknoise gain -6 highpass 4000 tremolo 4 100" \
        -b 16 "$out" trim 0 "$seconds"
}

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

run_orvanta() { "$orvanta" decode "$1" "$2" 2>>"$work/orvanta.log"; }
run_lame() { lame --quiet --decode "$1" "$2" 2>>"$work/lame.log"; }

# Prints the wall time of one run in seconds; fails if the command fails.
time_run() {
    local start end
    start=$(date +%s.%N)
    if ! "$@"; then
        echo "error: command failed: $*" >&2
        [[ -s "$work/orvanta.log" ]] && sed 's/^/  orvanta-cli: /' "$work/orvanta.log" >&2
        [[ -s "$work/lame.log" ]] && sed 's/^/  lame: /' "$work/lame.log" >&2
        return 1
    fi
    end=$(date +%s.%N)
    calc "$end - $start"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit 1
        if (NR % 2) printf "%.6f\n", v[(NR + 1) / 2]
        else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "-- speed: 5-minute 128 kbps MP3, $runs runs each, alternating"
# One untimed run of each first so both start with the input in the page cache.
run_orvanta "$work/short.mp3" "$work/ours.wav" ||
    { sed 's/^/  orvanta-cli: /' "$work/orvanta.log" >&2; die "orvanta-cli decode failed (warm-up)"; }
run_lame "$work/short.mp3" "$work/lame.wav" ||
    { sed 's/^/  lame: /' "$work/lame.log" >&2; die "lame --decode failed (warm-up)"; }

ours_times=()
lame_times=()
for ((i = 1; i <= runs; i++)); do
    rm -f "$work/ours.wav" "$work/lame.wav"
    if ((i % 2)); then
        o=$(time_run run_orvanta "$work/short.mp3" "$work/ours.wav")
        l=$(time_run run_lame "$work/short.mp3" "$work/lame.wav")
    else
        l=$(time_run run_lame "$work/short.mp3" "$work/lame.wav")
        o=$(time_run run_orvanta "$work/short.mp3" "$work/ours.wav")
    fi
    ours_times+=("$o")
    lame_times+=("$l")
    printf 'run %2d: orvanta-cli %7.3f s   lame %7.3f s\n' "$i" "$o" "$l"
done

ours_median=$(printf '%s\n' "${ours_times[@]}" | median)
lame_median=$(printf '%s\n' "${lame_times[@]}" | median)
ratio=$(calc "$ours_median / $lame_median")
printf 'median: orvanta-cli %.3f s   lame %.3f s\n' "$ours_median" "$lame_median"
if [[ "$(calc "$ratio <= 1.0")" == 1 ]]; then speed_verdict="target met"; else speed_verdict="target missed"; fi
printf 'ratio median(orvanta-cli)/median(lame): %.3f (target <= 1.000): %s\n' "$ratio" "$speed_verdict"

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
printf 'speed:  ratio %.3f (orvanta-cli %.3f s, lame %.3f s median): %s\n' \
    "$ratio" "$ours_median" "$lame_median" "$speed_verdict"
printf 'memory: orvanta-cli %.1f MB, lame %.1f MB on 60 minutes: %s\n' \
    "$(calc "$ours_kib / 1024")" "$(calc "$lame_kib / 1024")" "$mem_verdict"
if ((status == 0)); then echo "outputs: identical"; else echo "outputs: DIFFER"; fi
exit "$status"
