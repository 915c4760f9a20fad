#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, builds, and then runs the program's main job
# ("run"), every test ("test") or builds the Debian package ("package", written to
# build/package/). The package list is debian-packages.txt.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local wanted missing=()
    mapfile -t wanted < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$root/debian-packages.txt")
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            "${missing[@]}"
    fi
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs"
}

run_tests() {
    local dir=$1
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

run_program() {
    build "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DORVANTA_TESTS=OFF
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec "$root/build/release/program/orvanta"
    fi
    # No display to open a window on: show the engine's whole job with the command-line tool on
    # thirty seconds of quiet stereo noise instead.
    echo "No display found; for pictures of the windows see tools/screenshots.sh."
    local demo="$root/build/demo"
    mkdir -p "$demo"
    head -c $((44100 * 4 * 30)) /dev/urandom |
        lame --quiet -r -s 44.1 --bitwidth 16 --scale 0.2 -b 128 - "$demo/sample.mp3" 2>/dev/null
    "$root/build/release/cli/orvanta-cli" make "$demo/sample.mp3"
}

# build_package DIR: the Debian package of an optimised build installed under /usr, where the
# library lies in the system's search path (so the programs carry no RPATH). Prints the
# package's path, and only that, on stdout.
build_package() {
    local dir=$1
    build "$dir" -DCMAKE_BUILD_TYPE=Release -DORVANTA_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
        -DORVANTA_INSTALL_RPATH=OFF >&2
    rm -f "$dir"/orvanta_*.deb
    (cd "$dir" && cpack -G DEB >&2)
    ls "$dir"/orvanta_*.deb
}

# check_package DEB: what Debian's own checker says; any error fails.
check_package() {
    lintian --fail-on error "$1"
}

test_everything() {
    build "$root/build/ci-release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    run_tests "$root/build/ci-release"
    # The installed programs run with nothing of the build tree; desktop entry and AppStream data.
    bash "$root/tools/check_install.sh" "$root/build/ci-release"
    # The optimised build that the run command makes (GCC warns differently at -O3), packaged.
    local package
    package=$(build_package "$root/build/ci-optimised")
    check_package "$package"
    # A short fuzzing run over every parser of outside data; longer runs: tools/fuzz.sh SECONDS.
    ORVANTA_FUZZ_BUILD="$root/build/ci-fuzz" bash "$root/tools/fuzz.sh" \
        "${ORVANTA_FUZZ_SECONDS:-9}"
    build "$root/build/ci-sanitize" -DCMAKE_BUILD_TYPE=Debug -DORVANTA_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_tests "$root/build/ci-sanitize"
    # The update thread's tests under ThreadSanitizer, in a small tree of their own.
    build "$root/build/ci-tsan" -DCMAKE_BUILD_TYPE=Debug -DORVANTA_TSAN=ON
    TSAN_OPTIONS=halt_on_error=1 run_tests "$root/build/ci-tsan"
}

case "${1:-}" in
run)
    install_packages
    run_program
    ;;
test)
    install_packages
    test_everything
    ;;
package)
    install_packages
    build_package "$root/build/package"
    ;;
*)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
