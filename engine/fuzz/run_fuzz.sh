#!/usr/bin/env bash
# Builds the input-reader fuzzer and its seeds, then fuzzes for SECONDS on one core.
# Exits non-zero when libFuzzer found a crash, a leak, a timeout or an out-of-memory; the
# reproducer is then in BUILD_DIR/fuzz-artifacts.
#
# Usage: engine/fuzz/run_fuzz.sh SECONDS [BUILD_DIR]   (BUILD_DIR defaults to build-fuzz)
set -euo pipefail

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [BUILD_DIR]" >&2
    exit 2
fi
seconds=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(realpath -m "${2:-$root/build-fuzz}")

if [[ ! -f $build/build.ninja ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DORVANTA_FUZZ=ON \
        -DORVANTA_TESTS=OFF
fi
cmake --build "$build" --target orvanta_input_reader_fuzzer orvanta_fuzz_seeds

seeds=$build/fuzz-seeds
corpus=$build/fuzz-corpus
artifacts=$build/fuzz-artifacts
rm -rf "$seeds"
"$build/engine/fuzz/orvanta_fuzz_seeds" "$seeds"
mkdir -p "$corpus" "$artifacts"

# Every input is written to a file and decoded to another; memory-backed files keep that cheap.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi

before=$(find "$artifacts" -type f | wc -l)
status=0
"$build/engine/fuzz/orvanta_input_reader_fuzzer" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -dict="$root/engine/fuzz/InputReader.dict" \
    -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$corpus" "$seeds" || status=$?
after=$(find "$artifacts" -type f | wc -l)

if [[ $status -ne 0 ]]; then
    echo "run_fuzz.sh: the fuzzer stopped with status $status; reproducers in $artifacts" >&2
    exit "$status"
fi
if [[ $after -gt $before ]]; then
    echo "run_fuzz.sh: new reproducers in $artifacts" >&2
    exit 1
fi
echo "run_fuzz.sh: no crash, leak or timeout in $seconds s"
