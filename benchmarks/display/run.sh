#!/usr/bin/env bash
# Frame pacing of the display port on the real clock (60 Hz vsync): 120
# frames of a program that repaints a region and flushes, without PNG frames
# and with them (TARVELO_FRAMES), the median of RUNS runs (default 5) of each
# figure. A benchmark, not a test.
#
#   benchmarks/display/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
exe="$build/benchmarks/display/bench_display_pacing"
runs="${RUNS:-5}"
[[ -x "$exe" ]] || { echo "$exe is missing: build the firmware first" >&2; exit 1; }
frames="$(mktemp -d)"
trap 'rm -rf "$frames"' EXIT

median() { sort -n | sed -n "$(((runs + 1) / 2))p"; }
printf "%-12s %9s %8s %10s %8s %8s\n" frames total_ms mean_ms median_ms p90_ms max_ms
for mode in none png; do
  results=()
  for ((i = 0; i < runs; ++i)); do
    rm -rf "${frames:?}"/*
    if [[ $mode == png ]]; then
      out="$(TARVELO_CLOCK=real TARVELO_FRAMES="$frames/run" "$exe")"
    else
      out="$(TARVELO_CLOCK=real "$exe")"
    fi
    results+=("$(grep '^frames=' <<<"$out")")
  done
  row=()
  for key in total_ms mean_ms median_ms p90_ms max_ms; do
    row+=("$(printf "%s\n" "${results[@]}" | sed -n "s/.* $key=\([0-9.]*\).*/\1/p" | median)")
  done
  printf "%-12s %9s %8s %10s %8s %8s\n" "$mode" "${row[@]}"
done
