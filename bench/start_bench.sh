#!/usr/bin/env bash
# Start-up benchmark: `orvanta-cli --help` against `lame --help`, the same kind of program
# printing its usage, and against /bin/true, the floor of starting any process.
#
#   bash bench/start_bench.sh [BUILD_DIR]
#
# BUILD_DIR defaults to "build" under the repository root. BENCH_RUNS (default 7) sets how many
# timed runs each side gets; single runs take milliseconds, so raise it on a busy machine.
#
# Exits non-zero only when a command fails; a missed target is reported but does not fail the
# run.
# The run functions below are called indirectly, through compare_runs and warm_up.
# shellcheck disable=SC2317
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_init "$@"
bench_require time:time

bench_make_work start

target_ms=10

echo "== Orvanta start-up benchmark"
echo "orvanta-cli: $orvanta"
echo "lame:        $(command -v lame) ($(lame --version 2>/dev/null | head -n 1))"
echo "runs:        $runs per side"
echo

ours_log="$work/orvanta.log"
peer_log="$work/peer.log"
help_ours() { "$orvanta" --help >/dev/null 2>>"$ours_log"; }
help_lame() { lame --help >/dev/null 2>>"$peer_log"; }

warm_up "orvanta-cli --help failed (warm-up)" help_ours
warm_up "lame --help failed (warm-up)" help_lame

echo "-- speed: orvanta-cli --help against lame --help, alternating"
peer_name="lame --help"
compare_runs "lame --help" 1.0 : help_ours help_lame
lame_ratio=$ratio lame_verdict=$verdict lame_median=$peer_median
ours_ms=$(calc "$ours_median * 1000")
echo

echo "-- floor: /bin/true, $runs runs"
true_times=()
for ((i = 1; i <= runs; i++)); do true_times+=("$(time_run /bin/true)"); done
true_median=$(printf '%s\n' "${true_times[@]}" | median)
true_ratio=$(calc "$ours_median / $true_median")
printf 'median: /bin/true %.3f s\n\n' "$true_median"

# Peak resident memory, 1 MB = 1024 KiB.
peak_mb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | awk '{ printf "%.1f", $1 / 1024 }'; }
ours_mb=$(peak_mb "$orvanta" --help)
lame_mb=$(peak_mb lame --help)

if [[ "$(calc "$ours_ms < $target_ms")" == 1 ]]; then absolute="target met"; else absolute="target missed"; fi
echo "== summary"
printf 'orvanta-cli --help: median %.2f ms (target < %d ms): %s\n' "$ours_ms" "$target_ms" "$absolute"
printf 'against lame --help: ratio %.3f (lame %.2f ms median; target <= 1.000): %s\n' \
    "$lame_ratio" "$(calc "$lame_median * 1000")" "$lame_verdict"
printf 'against /bin/true:   ratio %.3f (/bin/true %.2f ms median), reported only\n' \
    "$true_ratio" "$(calc "$true_median * 1000")"
printf 'peak memory: orvanta-cli %s MB, lame %s MB\n' "$ours_mb" "$lame_mb"
