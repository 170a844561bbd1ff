#!/usr/bin/env bash
# Runs each interpreter benchmark on the firmware and the same algorithm in
# Lua 5.4, and in LuaJIT's interpreter (`luajit -joff`) when it is installed,
# and prints the times and the firmware's ratio to each. Every side reads
# the same clock: the processor time of its process, around the work only
# (start-up excluded). A benchmark, not a test: the times depend on the
# machine. Each figure is the median of RUNS runs (default 5).
#
# A benchmark is a firmware, its Lua script of the same name and the
# arguments both take (the firmware in BENCH_ARGS, the scripts on their
# command line): fib32 and fib34 are bench_fib recursing deeper, across
# the Java stack's blocks.
#
#   benchmarks/interpreter/compare.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
runs="${RUNS:-5}"
lua="$(command -v lua5.4 || true)"
luajit="$(command -v luajit || true)"
if [[ -z "$lua" ]]; then
  echo "lua5.4 is not installed (scripts/setup installs it)" >&2
  exit 1
fi

field() { sed -n "s/.*$1=\\([-0-9.]*\\).*/\\1/p" | head -n 1; }

# median COMMAND...: runs it $runs times; prints "ms result" of the median.
median() {
  local out ms result all=()
  for ((i = 0; i < runs; ++i)); do
    out="$("$@")"
    ms="$(field ms <<<"$out")"
    result="$(field result <<<"$out")"
    all+=("$ms $result")
  done
  printf "%s\n" "${all[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

if [[ -n "$luajit" ]]; then
  printf "%-14s %10s %10s %10s %8s %8s\n" benchmark "firmware" "lua5.4" "luajit" "/lua" "/luajit"
else
  printf "%-14s %10s %10s %8s   (luajit not installed)\n" benchmark "firmware" "lua5.4" "/lua"
fi
benchmarks=(
  "fib fib"
  "fib32 fib 32"
  "fib34 fib 34"
  "sieve sieve"
  "loops loops"
  "virtual_calls virtual_calls"
  "virtual_mixed virtual_mixed"
  "interface_calls interface_calls"
  "long_ref_calls long_ref_calls"
  "thread_calls thread_calls"
  "allocation allocation"
  "alloc_calls alloc_calls"
)
for entry in "${benchmarks[@]}"; do
  read -r b f args <<<"$entry"
  exe="$build/benchmarks/interpreter/bench_$f"
  if [[ ! -x "$exe" ]]; then
    echo "$exe is missing: build the firmware first" >&2
    exit 1
  fi
  read -r vm_ms vm_result <<<"$(median env BENCH_ARGS="$args" "$exe")"
  # shellcheck disable=SC2086 # the arguments are words
  read -r lua_ms lua_result <<<"$(median "$lua" "$here/lua/$f.lua" $args)"
  note=""
  [[ "$vm_result" == "$lua_result" ]] || note="  (results differ: $vm_result / $lua_result)"
  if [[ -n "$luajit" ]]; then
    # LuaJIT has no integer operators: those scripts have a variant of their own.
    script="$here/lua/$f.lua"
    [[ -f "$here/lua/luajit/$f.lua" ]] && script="$here/lua/luajit/$f.lua"
    # shellcheck disable=SC2086
    read -r jit_ms jit_result <<<"$(median "$luajit" -joff "$script" $args)"
    [[ "$vm_result" == "$jit_result" ]] || note="$note  (luajit result: $jit_result)"
    printf "%-14s %10s %10s %10s %8s %8s%s\n" "$b" "$vm_ms" "$lua_ms" "$jit_ms" \
      "$(ratio "$vm_ms" "$lua_ms")" "$(ratio "$vm_ms" "$jit_ms")" "$note"
  else
    printf "%-14s %10s %10s %8s%s\n" "$b" "$vm_ms" "$lua_ms" "$(ratio "$vm_ms" "$lua_ms")" "$note"
  fi
done
