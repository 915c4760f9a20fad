#!/usr/bin/env bash
# Installs a build tree with `cmake --install` into a DESTDIR, lists what went where, and runs
# the installed programs with nothing of the build tree: the tree is renamed for the check and
# the installation is run from a copy at another place, so the library, the language file and
# the plug-ins must all be found relative to the programs themselves. Then validates the
# desktop entry and the AppStream data as installed.
#
#     bash tools/check_install.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
hidden="$build.hidden-for-install-check"
# The build tree comes back first, whatever else fails.
cleanup() {
    if [ -d "$hidden" ]; then mv "$hidden" "$build"; fi
    if [ -n "${xvfb:-}" ]; then kill "$xvfb" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

DESTDIR="$scratch/destdir" cmake --install "$build" --prefix /usr/local >/dev/null
echo "Installed tree (DESTDIR, prefix /usr/local):"
(cd "$scratch/destdir" && find . -mindepth 1 \( -type f -o -type l \) | sort)

# Another prefix than the one installed to, and no build tree.
prefix="$scratch/elsewhere/some prefix"
mkdir -p "$prefix"
cp -a "$scratch/destdir/usr/local/." "$prefix/"
mv "$build" "$hidden"

installed_binaries=("$prefix/bin/orvanta" "$prefix/bin/orvanta-cli" "$prefix"/lib*/orvanta/*.so)
if ldd "${installed_binaries[@]}" | grep -q 'not found'; then
    echo "an installed program or module misses a library:" >&2
    ldd "${installed_binaries[@]}" >&2
    exit 1
fi

home="$scratch/home"
mkdir -p "$home"
export HOME=$home XDG_CONFIG_HOME=$home/.config
head -c $((44100 * 4 * 25)) /dev/urandom |
    lame --quiet -r -s 44.1 --bitwidth 16 --scale 0.2 -b 128 - "$scratch/song.mp3" 2>/dev/null
made=$("$prefix/bin/orvanta-cli" make "$scratch/song.mp3")
[ -s "$made" ] || { echo "installed orvanta-cli make wrote no ringtone" >&2; exit 1; }
echo "installed orvanta-cli make: $made"
# The Ogg encoder lives in a module the tool loads from its installed library folder.
"$prefix/bin/orvanta-cli" decode "$made" "$scratch/ringtone.wav" >/dev/null
"$prefix/bin/orvanta-cli" encode --format ogg "$scratch/ringtone.wav" "$scratch/ringtone.ogg" >/dev/null
[ -s "$scratch/ringtone.ogg" ] ||
    { echo "installed orvanta-cli wrote no Ogg ringtone" >&2; exit 1; }

# The window program under a virtual display: its main window carries the title from the
# language file, so the title shows that strings.xml was found (without it a message box
# would come first and the title would stay empty).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
DISPLAY=":$(cat "$scratch/display")" QT_QPA_PLATFORM=xcb ORVANTA_UPDATE_SERVER= \
    "$prefix/bin/orvanta" 2>"$scratch/orvanta.log" &
program=$!
window=
for _ in $(seq 100); do
    window=$(DISPLAY=":$(cat "$scratch/display")" xdotool search --name '^Orvanta Ringtone Maker$' 2>/dev/null || true)
    [ -n "$window" ] && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
kill -TERM "$program" 2>/dev/null || true
status=0
wait "$program" || status=$?
if [ -z "$window" ] || [ "$status" -ne 143 ]; then
    echo "the installed orvanta showed no titled window or did not end on SIGTERM ($status)" >&2
    cat "$scratch/orvanta.log" >&2
    exit 1
fi
echo "installed orvanta: window \"Orvanta Ringtone Maker\" shown, ended with 143 on SIGTERM"

# A program of someone else's builds against the installed PXMisc, through its CMake package
# and through pkg-config, and runs with the library found the usual ways.
consumer="$scratch/consumer"
mkdir -p "$consumer"
printf '%s\n' '#include <pxmisc/CMiscFunc.h>' '#include <iostream>' \
    'int main() { std::cout << CMiscFunc::GetExePath() << "\n"; }' >"$consumer/main.cpp"
printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(consumer CXX)' \
    'find_package(PXMisc 1 REQUIRED)' 'add_executable(consumer main.cpp)' \
    'target_compile_features(consumer PRIVATE cxx_std_20)' \
    'target_link_libraries(consumer PRIVATE PXMisc::pxmisc)' >"$consumer/CMakeLists.txt"
cmake -S "$consumer" -B "$consumer/build" -G Ninja "-DCMAKE_PREFIX_PATH=$prefix" >/dev/null
cmake --build "$consumer/build" >/dev/null
[ "$("$consumer/build/consumer")" = "$consumer/build/" ]
# pkg-config escapes the space in the prefix with a backslash, as a shell reads it.
eval "flags=($(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs pxmisc))"
c++ -std=c++20 "$consumer/main.cpp" -o "$consumer/with-pkg-config" "${flags[@]}"
[ "$(LD_LIBRARY_PATH="$prefix/lib" "$consumer/with-pkg-config")" = "$consumer/" ]
echo "a program builds against the installed PXMisc with find_package(PXMisc) and pkg-config"

desktop-file-validate "$prefix/share/applications/orvanta.desktop"
# --no-net: the screenshots' addresses are checked only where a network is.
appstreamcli validate --no-net "$prefix/share/metainfo/"*.metainfo.xml
echo "install check passed"
