#!/usr/bin/env bash
# Pictures of what a person sees, taken under a virtual X display: the program as it starts in
# each language, every wizard page, the about box and the progress window halfway through a
# real decode. Look at them after any change to a window.
#
#     bash tools/screenshots.sh [OUTPUT_FOLDER] [LANGUAGE...]     (default: build/screenshots, en de fr)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/build/screenshots}
shift || true
languages=("$@")
[ "${#languages[@]}" -gt 0 ] || languages=(en de fr)
build="$root/build/screenshots-build"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target orvanta orvanta_screenshot_driver

mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A minute of quiet stereo noise as MP3: the decode behind the progress window is a real one.
head -c $((44100 * 4 * 60)) /dev/urandom |
    lame --quiet -r -s 44.1 --bitwidth 16 --scale 0.2 -b 128 - "$scratch/sample.mp3" 2>/dev/null

# One virtual display for every picture; it picks a free display number itself.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
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

# The program itself as it starts for a user whose chosen language is $1.
photograph_program() {
    local language=$1 home="$scratch/home-$1"
    mkdir -p "$home/.config/Orvanta"
    printf '[ui]\nactive_language=%s\n' "$language" >"$home/.config/Orvanta/Orvanta.conf"
    HOME=$home XDG_CONFIG_HOME=$home/.config "$build/app/orvanta" &
    local program=$!
    sleep 3
    import -window root "$out/program_$language.png"
    echo "wrote $out/program_$language.png"
    kill "$program"
    wait "$program" 2>/dev/null || true
}

for language in "${languages[@]}"; do
    photograph_program "$language"
    HOME="$scratch/home-driver" XDG_CONFIG_HOME="$scratch/home-driver/.config" \
        "$build/pages/tests/orvanta_screenshot_driver" "$language" "$root/res/strings.xml" \
        "$scratch/sample.mp3" "$out"
done
