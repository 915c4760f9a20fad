#!/usr/bin/env bash
# Builds every libFuzzer target and fuzzes each for SECONDS (default 60) on one core, one after
# the other, from its seeds in the repository and what earlier runs found. Exits non-zero when
# any target found a crash, a leak, a timeout or an out-of-memory; the reproducers are then in
# BUILD_DIR/fuzz-artifacts/TARGET.
#
# Usage: tools/fuzz.sh [SECONDS [TARGET...]]
#   TARGET: input_reader wave_model string_table update_answer media_archive http_answer
#   command_line (default: all). ORVANTA_FUZZ_BUILD names the build tree (default build-fuzz).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
if [[ ! $seconds =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [SECONDS [TARGET...]]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))
build=$(realpath -m "${ORVANTA_FUZZ_BUILD:-$root/build-fuzz}")

# name: executable (in the build tree), seed folder (in the repository), dictionary or "-"
declare -A executable=(
    [input_reader]=engine/fuzz/orvanta_input_reader_fuzzer
    [wave_model]=editor/fuzz/orvanta_wave_model_fuzzer
    [string_table]=app/fuzz/orvanta_string_table_fuzzer
    [update_answer]=app/fuzz/orvanta_update_answer_fuzzer
    [media_archive]=player/fuzz/orvanta_media_archive_fuzzer
    [http_answer]=pxmisc/fuzz/orvanta_http_answer_fuzzer
    [command_line]=cli/fuzz/orvanta_command_line_fuzzer
)
declare -A seeds=(
    [input_reader]="$build/fuzz-seeds/input_reader"
    [wave_model]=editor/fuzz/seeds/wave_model
    [string_table]=app/fuzz/seeds/string_table
    [update_answer]=app/fuzz/seeds/update_answer
    [media_archive]=player/fuzz/seeds/media_archive
    [http_answer]=pxmisc/fuzz/seeds/http_answer
    [command_line]=cli/fuzz/seeds/command_line
)
declare -A dictionary=(
    [input_reader]=engine/fuzz/InputReader.dict
    [wave_model]=-
    [string_table]=app/fuzz/StringTable.dict
    [update_answer]=app/fuzz/UpdateAnswer.dict
    [media_archive]=-
    [http_answer]=pxmisc/fuzz/HttpAnswer.dict
    [command_line]=cli/fuzz/CommandLine.dict
)
order=(input_reader wave_model string_table update_answer media_archive http_answer command_line)
targets=("${@:-${order[@]}}")
for name in "${targets[@]}"; do
    if [[ -z ${executable[$name]:-} ]]; then
        echo "$0: no fuzz target named $name" >&2
        exit 2
    fi
done

if [[ ! -f $build/build.ninja ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DORVANTA_FUZZ=ON \
        -DORVANTA_TESTS=OFF
fi
buildTargets=(orvanta_fuzz_seeds)
for name in "${targets[@]}"; do
    buildTargets+=("$(basename "${executable[$name]}")")
done
cmake --build "$build" --target "${buildTargets[@]}"

rm -rf "$build/fuzz-seeds"
"$build/engine/fuzz/orvanta_fuzz_seeds" "$build/fuzz-seeds/input_reader" >/dev/null

# The readers of paths write every input to a file; memory-backed files keep that cheap.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi

failed=()
for name in "${targets[@]}"; do
    corpus=$build/fuzz-corpus/$name
    artifacts=$build/fuzz-artifacts/$name
    mkdir -p "$corpus" "$artifacts"
    seedFolder=${seeds[$name]}
    [[ $seedFolder == /* ]] || seedFolder=$root/$seedFolder
    options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10
        -artifact_prefix="$artifacts/" -print_final_stats=1)
    if [[ ${dictionary[$name]} != - ]]; then
        options+=(-dict="$root/${dictionary[$name]}")
    fi
    before=$(find "$artifacts" -type f | wc -l)
    status=0
    echo "== $name: $seconds s"
    "$build/${executable[$name]}" "${options[@]}" "$corpus" "$seedFolder" || status=$?
    after=$(find "$artifacts" -type f | wc -l)
    if [[ $status -ne 0 || $after -gt $before ]]; then
        failed+=("$name")
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzz.sh: ${failed[*]} found faults; reproducers in $build/fuzz-artifacts" >&2
    exit 1
fi
echo "fuzz.sh: no crash, leak or timeout in ${targets[*]}, $seconds s each"
