#!/usr/bin/env bash
# Runs each interpreter benchmark on the firmware and the same algorithm in
# Lua 5.4 on this machine, and prints both times and their ratio
# (firmware / Lua). A benchmark, not a test: the times depend on the machine.
#
#   benchmarks/interpreter/compare.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
lua="$(command -v lua5.4 || true)"
if [[ -z "$lua" ]]; then
  echo "lua5.4 is not installed (scripts/setup installs it)" >&2
  exit 1
fi

field() { sed -n "s/.*$1=\\([-0-9.]*\\).*/\\1/p" | head -n 1; }

printf "%-14s %12s %12s %8s\n" benchmark "firmware ms" "lua ms" ratio
for b in fib sieve loops virtual_calls allocation; do
  exe="$build/benchmarks/interpreter/bench_$b"
  if [[ ! -x "$exe" ]]; then
    echo "$exe is missing: build the firmware first" >&2
    exit 1
  fi
  vm_out="$("$exe")"
  lua_out="$("$lua" "$here/lua/$b.lua")"
  vm_ms="$(field ms <<<"$vm_out")"
  lua_ms="$(field ms <<<"$lua_out")"
  vm_result="$(field result <<<"$vm_out")"
  lua_result="$(field result <<<"$lua_out")"
  ratio="$(awk -v a="$vm_ms" -v b="$lua_ms" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')"
  note=""
  [[ "$vm_result" == "$lua_result" ]] || note="  (results differ: $vm_result / $lua_result)"
  printf "%-14s %12s %12s %8s%s\n" "$b" "$vm_ms" "$lua_ms" "$ratio" "$note"
done
