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
# Beside the times: how the calls and returns went, from a build that
# counts them (TARVELO_ACTIVATION_COUNTS; the counting costs time, so it is
# a build of its own, COUNTS_BUILD, default BUILD_DIR-counts, configured and
# built here when it is missing, with JOBS parallel jobs (default 2, or -j N
# before BUILD_DIR: the machine may be shared; COUNTS=0 leaves the counts
# out). "engine"
# is the share of the calls the engine's path made; the second table gives
# the inline calls and returns and each reason to decline one, start-up
# (the image's class initialisers) included.
#
# The "luajit-joff" column is LuaJIT with its compiler off: its interpreter.
#
#   benchmarks/interpreter/compare.sh [-j N] [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
jobs="${JOBS:-2}"
if [[ "${1:-}" == -j ]]; then
  jobs="${2:?-j needs a job count}"
  shift 2
elif [[ "${1:-}" == -j* ]]; then
  jobs="${1#-j}"
  shift
fi
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "the job count must be a positive number, not '$jobs'" >&2
  exit 1
fi
build="${1:-$here/../../build}"
runs="${RUNS:-5}"
counts_build="${COUNTS_BUILD:-${build%/}-counts}"
lua="$(command -v lua5.4 || true)"
luajit="$(command -v luajit || true)"
if [[ -z "$lua" ]]; then
  echo "lua5.4 is not installed (scripts/setup installs it)" >&2
  exit 1
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
  "java_calls java_calls"
  "long_ref_calls long_ref_calls"
  "thread_calls thread_calls"
  "allocation allocation"
  "alloc_calls alloc_calls"
)

field() { sed -n "s/.*[ :]$1=\\([-0-9.]*\\).*/\\1/p;s/^$1=\\([-0-9.]*\\).*/\\1/p" | head -n 1; }

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

with_counts=0
if [[ "${COUNTS:-1}" != 0 ]]; then
  with_counts=1
  if [[ ! -f "$counts_build/CMakeCache.txt" ]]; then
    echo "configuring the counting build in $counts_build (COUNTS=0 leaves it out)" >&2
    cmake -S "$here/../.." -B "$counts_build" -G Ninja -DTARVELO_ACTIVATION_COUNTS=ON \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
  fi
  targets=()
  for entry in "${benchmarks[@]}"; do
    read -r _ f _ <<<"$entry"
    targets+=("bench_$f")
  done
  echo "building the benchmarks of the counting build in $counts_build with $jobs jobs" >&2
  cmake --build "$counts_build" --target "${targets[@]}" -j "$jobs" >/dev/null
fi

# The counting build's line for one run: "activations: name=count ...".
activations() { env BENCH_ARGS="$2" "$counts_build/benchmarks/interpreter/bench_$1" | sed -n 's/^activations://p'; }

# engine_share LINE: the calls the engine made, in percent of all calls.
engine_share() {
  awk '{ for (i = 1; i <= NF; ++i) { split($i, kv, "="); c[kv[1]] = kv[2] }
         inline = c["inline_call"] + c["inline_call_across"]
         engine = c["call_no_room"] + c["call_first_frame"] + c["call_other_application"] + \
                  c["call_holding_kernel_monitors"]
         if (inline + engine > 0) printf "%.3f%%", 100 * engine / (inline + engine); else print "-" }' <<<"$1"
}

declare -A count_lines
extra_head=""
[[ $with_counts == 1 ]] && extra_head="engine"
if [[ -n "$luajit" ]]; then
  printf "%-16s %10s %10s %11s %8s %12s %9s\n" benchmark "firmware" "lua5.4" "luajit-joff" "/lua" "/luajit-joff" "$extra_head"
else
  printf "%-16s %10s %10s %8s %9s  (luajit not installed)\n" benchmark "firmware" "lua5.4" "/lua" "$extra_head"
fi
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
  share=""
  if [[ $with_counts == 1 ]]; then
    count_lines[$b]="$(activations "$f" "$args")"
    share="$(engine_share "${count_lines[$b]}")"
  fi
  if [[ -n "$luajit" ]]; then
    # LuaJIT has no integer operators: those scripts have a variant of their own.
    script="$here/lua/$f.lua"
    [[ -f "$here/lua/luajit/$f.lua" ]] && script="$here/lua/luajit/$f.lua"
    # shellcheck disable=SC2086
    read -r jit_ms jit_result <<<"$(median "$luajit" -joff "$script" $args)"
    [[ "$vm_result" == "$jit_result" ]] || note="$note  (luajit-joff result: $jit_result)"
    printf "%-16s %10s %10s %11s %8s %12s %9s%s\n" "$b" "$vm_ms" "$lua_ms" "$jit_ms" \
      "$(ratio "$vm_ms" "$lua_ms")" "$(ratio "$vm_ms" "$jit_ms")" "$share" "$note"
  else
    printf "%-16s %10s %10s %8s %9s%s\n" "$b" "$vm_ms" "$lua_ms" "$(ratio "$vm_ms" "$lua_ms")" "$share" "$note"
  fi
done

if [[ $with_counts == 1 ]]; then
  echo
  echo "calls and returns (inline; declined to the engine, by reason)"
  printf "%-16s %10s %9s %10s %9s %8s %8s %9s %8s %8s %8s\n" benchmark call across return across \
    no_room first other_app monitors into_app bottom
  for entry in "${benchmarks[@]}"; do
    read -r b _ <<<"$entry"
    awk -v name="$b" '{ for (i = 1; i <= NF; ++i) { split($i, kv, "="); c[kv[1]] = kv[2] }
      printf "%-16s %10d %9d %10d %9d %8d %8d %9d %8d %8d %8d\n", name, c["inline_call"], c["inline_call_across"],
        c["inline_return"], c["inline_return_across"], c["call_no_room"], c["call_first_frame"],
        c["call_other_application"], c["call_holding_kernel_monitors"], c["return_into_application"],
        c["return_thread_bottom"] }' <<<"${count_lines[$b]}"
  done
fi
