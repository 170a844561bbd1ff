#!/usr/bin/env bash
# Start-up of the firmware to its first Java instruction under each RTOS
# clock: the median of RUNS launches (default 9) of a firmware whose main
# reads the clock first. The waits of the board bring-up follow the clock
# (`real` keeps the device's waits). A benchmark, not a test.
#
#   benchmarks/startup/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
exe="$build/benchmarks/startup/bench_startup"
runs="${RUNS:-9}"
[[ -x "$exe" ]] || { echo "$exe is missing: build the firmware first" >&2; exit 1; }

printf "%-8s %10s\n" clock "ms (median)"
for clock in fast virtual real; do
  all=()
  for ((i = 0; i < runs; ++i)); do
    out="$(TARVELO_CLOCK=$clock TARVELO_LAUNCH_NS="$(date +%s%N)" "$exe")"
    all+=("$(sed -n 's/^startup ms=\([0-9.]*\).*/\1/p' <<<"$out")")
  done
  printf "%-8s %10s\n" "$clock" "$(printf "%s\n" "${all[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")"
done
