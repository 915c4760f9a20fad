# shellcheck shell=bash
# Shared helpers for the benchmark scripts in this folder. Sourced, not run:
#
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#   bench_init "$@"
#
# bench_init sets: script_dir, repo_root, build_dir, orvanta (the orvanta-cli
# binary), runs (BENCH_RUNS, default 7) and rate (44100). The caller sets up its
# own work directory with bench_make_work and then, for the timing helpers,
# ours_log, peer_log and peer_name, and ours_label when our side is not
# orvanta-cli.

# Floating-point arithmetic on plain numbers: calc "1.5 / 3".
calc() { awk "BEGIN { printf \"%.9g\n\", $1 }"; }

die() {
    echo "error: $*" >&2
    exit 1
}

# Resolves the build directory from the script's first argument and checks
# BENCH_RUNS. Call with the script's own arguments.
bench_init() {
    script_dir="$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)"
    repo_root="$(cd "$script_dir/.." && pwd)"

    local build_arg="${1:-build}"
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
    rate=44100
}

# Checks for orvanta-cli, lame and sox, plus any extra program named in "$@"
# (as "program:debian-package").
# shellcheck disable=SC2120
bench_require() {
    [[ -x "$orvanta" ]] || die "$orvanta not found; build it with: cmake -S $repo_root -B $build_dir -G Ninja && cmake --build $build_dir"
    command -v lame >/dev/null || die "lame is not installed (apt-get install lame)"
    command -v sox >/dev/null || die "sox is not installed (apt-get install sox)"
    local spec
    for spec in "$@"; do
        [[ -x "${spec%%:*}" ]] || command -v "${spec%%:*}" >/dev/null ||
            die "${spec%%:*} is not installed (apt-get install ${spec#*:})"
    done
}

# Makes the temporary work directory "$work", removed when the script exits.
bench_make_work() {
    work="$(mktemp -d "${TMPDIR:-/tmp}/orvanta-$1-bench.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
}

# For the benchmarks that drive the window program through a driver built in
# bench/: checks that DRIVER_TARGET was built (sets $driver and $strings), makes
# the work directory, and gives the program a profile and a runtime folder of
# the run's own on Qt's offscreen platform, so no display is needed.
#   bench_window_program DRIVER_TARGET WORK_NAME
bench_window_program() {
    driver="$build_dir/bench/$1"
    strings="$repo_root/res/strings.xml"
    bench_require
    [[ -x "$driver" ]] ||
        die "$driver not found; build it with: cmake --build $build_dir --target $1"
    bench_make_work "$2"
    export QT_QPA_PLATFORM=offscreen
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
    mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
}

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

# Music-like 16-bit stereo WAV of $2 seconds at $rate in $1 (the phrase is kept
# beside it as $1.phrase.wav only while it is being made).
make_music_wav() {
    local out="$1" seconds="$2"
    make_phrase "$out.phrase.wav"
    make_signal "$out.phrase.wav" "$seconds" "$out"
    rm -f "$out.phrase.wav"
}

# A 60-minute working WAV in $1 (five minutes of the test signal, streamed twelve times) and its
# peak file in $2, made with orvanta-cli.
make_hour_work() {
    local wav="$1" peaks="$2"
    make_music_wav "$wav.five.wav" 300
    sox -V1 "$wav.five.wav" "$wav" repeat 11
    rm -f "$wav.five.wav"
    "$orvanta" peaks "$wav" "$peaks"
}

# A ringtone WAV of $2 seconds in $1, with a line saying what it is.
make_ring_wav() {
    local out="$1" seconds="$2"
    make_music_wav "$out" "$seconds"
    printf '%d-second ringtone WAV: %d bytes (16-bit stereo, %d Hz)\n' \
        "$seconds" "$(stat -c %s "$out")" "$rate"
}

# A 60-minute 128 kbps MP3 in $1: a 5-minute signal played 12 times, streamed
# into lame as raw PCM, so no WAV header length has to be guessed by sox. lame
# warns on stderr about raw input even with --quiet, so its stderr is shown only
# if the encode fails.
make_hour_mp3() {
    local out="$1"
    make_music_wav "$out.part.wav" 300
    if ! sox -V1 "$out.part.wav" -t raw - repeat 11 |
        lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -b 128 - "$out" \
            2>"$out.log"; then
        cat "$out.log" >&2
        return 1
    fi
    rm -f "$out.part.wav" "$out.log"
}

# ---------------------------------------------------------------------------
# Timing
# ---------------------------------------------------------------------------

# Shows the logs of both sides on stderr (ours_log, peer_log, peer_name).
show_logs() {
    [[ -s "${ours_log:-}" ]] && sed "s/^/  ${ours_label:-orvanta-cli}: /" "$ours_log" >&2
    [[ -s "${peer_log:-}" ]] && sed "s/^/  ${peer_name:-peer}: /" "$peer_log" >&2
    return 0
}

# Prints the wall time of one run in seconds; fails if the command fails. The
# clock is bash's $EPOCHREALTIME, read without starting a process, so short
# runs are not inflated by the timing itself.
time_run() {
    local start end
    start=$EPOCHREALTIME
    if ! "$@"; then
        echo "error: command failed: $*" >&2
        show_logs
        return 1
    fi
    end=$EPOCHREALTIME
    calc "$end - $start"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit 1
        if (NR % 2) printf "%.6f\n", v[(NR + 1) / 2]
        else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs FUNCTION once, untimed; on failure shows the logs and stops with MESSAGE.
warm_up() {
    local message="$1"
    shift
    "$@" || { show_logs; die "$message"; }
}

# Times OURS_FN and PEER_FN alternately, $runs times each (ours first on odd
# runs, the peer first on even ones), calling PREPARE_FN (may be ":") before
# every pair. Prints every run, both medians and the ratio against TARGET.
# Sets ours_median, peer_median, ratio and verdict ("target met"/"target missed").
#   compare_runs PEER_LABEL TARGET PREPARE_FN OURS_FN PEER_FN
compare_runs() {
    local peer_label="$1" target="$2" prepare="$3" ours_fn="$4" peer_fn="$5"
    local ours="${ours_label:-orvanta-cli}"
    local i o p ours_times=() peer_times=()
    for ((i = 1; i <= runs; i++)); do
        "$prepare"
        if ((i % 2)); then
            o=$(time_run "$ours_fn")
            p=$(time_run "$peer_fn")
        else
            p=$(time_run "$peer_fn")
            o=$(time_run "$ours_fn")
        fi
        ours_times+=("$o")
        peer_times+=("$p")
        printf 'run %2d: %s %7.3f s   %s %7.3f s\n' "$i" "$ours" "$o" "$peer_label" "$p"
    done

    ours_median=$(printf '%s\n' "${ours_times[@]}" | median)
    peer_median=$(printf '%s\n' "${peer_times[@]}" | median)
    ratio=$(calc "$ours_median / $peer_median")
    printf 'median: %s %.3f s   %s %.3f s\n' "$ours" "$ours_median" "$peer_label" "$peer_median"
    if [[ "$(calc "$ratio <= $target")" == 1 ]]; then verdict="target met"; else verdict="target missed"; fi
    printf 'ratio median(%s)/median(%s): %.3f (target <= %.3f): %s\n' \
        "$ours" "$peer_label" "$ratio" "$target" "$verdict"
}
