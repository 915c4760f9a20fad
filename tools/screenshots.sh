#!/usr/bin/env bash
# Pictures of what a person sees, taken under a virtual X display: the program as it starts in
# each language, every wizard page, the about box, the progress window halfway through a
# real decode, and the wave editor on a song at the fit zoom and zoomed in. Look at them after
# any change to a window.
#
#     bash tools/screenshots.sh [OUTPUT_FOLDER] [LANGUAGE...]     (default: build/screenshots, en de fr)
#
# VARIANTS lists further pictures of the wizard pages as SCALE:SIZE, SIZE being minimum (the
# designed size) or maximised; each goes into OUTPUT_FOLDER/xSCALE_SIZE. For example
#     VARIANTS="1:maximised 2:minimum 2:maximised" bash tools/screenshots.sh out en de
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/build/screenshots}
shift || true
languages=("$@")
[ "${#languages[@]}" -gt 0 ] || languages=(en de fr)
build="$root/build/screenshots-build"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target orvanta orvanta_screenshot_driver orvanta-cli \
    orvanta_editor_screenshot_driver

mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A minute of quiet stereo noise as MP3: the decode behind the progress window is a real one.
head -c $((44100 * 4 * 60)) /dev/urandom |
    lame --quiet -r -s 44.1 --bitwidth 16 --scale 0.2 -b 128 - "$scratch/sample.mp3" 2>/dev/null

# One virtual display for every picture; it picks a free display number itself.
# Large enough for the designed window at 200 %.
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in $(seq 50); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(cat "$scratch/display")"
export QT_QPA_PLATFORM=xcb
# A plain window manager, so the pictures show the window titles too.
printf 'RandomPlacement\nNoGrabServer\nDecorateTransients\n' >"$scratch/twmrc"
twm -f "$scratch/twmrc" >/dev/null 2>&1 &
sleep 1

# A 72-second song: a plucked melody, a bass line and a drum loop in 4-second bars, arranged in
# sections of different loudness (quiet intro, verse, loud chorus, breakdown, chorus, fade-out).
make_song() {
    local dir=$1 rate=44100 note parts=()
    for note in 0 4 7 12 7 4 2 5 9 12 9 5 -1 2 7 11; do # semitones above C4
        parts+=("|sox -V1 -n -r $rate -c 2 -p synth 0.25 pluck %$((note - 9)) pluck %$((note + 3)) fade 0 0.25 0.2")
    done
    sox -V1 "${parts[@]}" "$dir/melody.wav"
    parts=()
    for note in -24 -20 -19 -17; do
        parts+=("|sox -V1 -n -r $rate -c 2 -p synth 1 square %$((note - 9)) lowpass 400 fade 0 1 0.3 vol 0.8")
    done
    sox -V1 "${parts[@]}" "$dir/bass.wav"
    sox -V1 -n -r $rate -c 2 "$dir/kick.wav" synth 0.15 sine 90-40 fade 0 0.15 0.12 pad 0 0.35
    sox -V1 -n -r $rate -c 2 "$dir/hat.wav" synth 0.04 whitenoise highpass 6000 fade 0 0.04 0.03 vol 0.4 pad 0 0.21
    sox -V1 -m "|sox -V1 $dir/kick.wav -p repeat 7" "|sox -V1 $dir/hat.wav -p repeat 15" "$dir/drums.wav"
    local section=0
    # bars, gain, stems
    while read -r bars gain stems; do
        local inputs=() stem
        for stem in $stems; do
            inputs+=(-v "$gain" "|sox -V1 $dir/$stem.wav -p repeat $((bars - 1))")
        done
        # sox mixes two or more inputs only; one stem is three words (-v GAIN INPUT).
        if [ "${#inputs[@]}" -gt 3 ]; then
            sox -V1 -m "${inputs[@]}" "$dir/section$section.wav"
        else
            sox -V1 "${inputs[@]}" "$dir/section$section.wav"
        fi
        section=$((section + 1))
    done <<'SECTIONS'
2 0.2 melody
4 0.3 melody bass
4 0.42 melody bass drums
2 0.35 bass drums
4 0.42 melody bass drums
2 0.4 melody bass
SECTIONS
    sox -V1 "$dir"/section{0..5}.wav -b 16 "$dir/song.wav" fade 0 0 6
}

# The wave editor on that song as the edit page shows it, after the program's own decode.
photograph_editor() {
    local dir="$scratch/song"
    "$build/cli/orvanta-cli" decode "$dir/song.mp3" "$dir/work.wav"
    "$build/cli/orvanta-cli" peaks "$dir/work.wav" "$dir/work.wfp"
    "$build/editor/tests/orvanta_editor_screenshot_driver" "$dir/work.wav" "$dir/work.wfp" "$out"
}

# The program itself as it starts for a user whose chosen language is $1.
photograph_program() {
    local language=$1 home="$scratch/home-$1"
    mkdir -p "$home/.config/Orvanta"
    printf '[ui]\nactive_language=%s\n' "$language" >"$home/.config/Orvanta/Orvanta.conf"
    HOME=$home XDG_CONFIG_HOME=$home/.config "$build/program/orvanta" &
    local program=$!
    sleep 3
    import -window root "$out/program_$language.png"
    echo "wrote $out/program_$language.png"
    kill "$program"
    wait "$program" 2>/dev/null || true
}

mkdir -p "$scratch/song"
make_song "$scratch/song"
lame --quiet -b 192 "$scratch/song/song.wav" "$scratch/song/song.mp3"
for language in "${languages[@]}"; do
    photograph_program "$language"
    # The pages go through the song; the progress window is pictured on the minute of noise.
    cp "$scratch/song/song.mp3" "$scratch/song-$language.mp3"
    HOME="$scratch/home-driver" XDG_CONFIG_HOME="$scratch/home-driver/.config" \
        "$build/pages/tests/orvanta_screenshot_driver" "$language" "$root/res/strings.xml" \
        "$scratch/song-$language.mp3" "$scratch/sample.mp3" "$out"
done
photograph_editor

# The wizard pages again at each scale and size asked for.
for variant in ${VARIANTS:-}; do
    scale=${variant%%:*} size=${variant#*:}
    mkdir -p "$out/x${scale}_$size"
    for language in "${languages[@]}"; do
        cp "$scratch/song/song.mp3" "$scratch/song-$language-$scale-$size.mp3"
        QT_SCALE_FACTOR=$scale ORVANTA_SCREENSHOT_SIZE=$size HOME="$scratch/home-driver" \
            XDG_CONFIG_HOME="$scratch/home-driver/.config" \
            "$build/pages/tests/orvanta_screenshot_driver" "$language" "$root/res/strings.xml" \
            "$scratch/song-$language-$scale-$size.mp3" "$scratch/sample.mp3" "$out/x${scale}_$size"
    done
done
