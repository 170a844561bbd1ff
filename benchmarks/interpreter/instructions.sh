#!/usr/bin/env bash
# Instruction counts of the interpreter benchmarks under cachegrind, which
# do not depend on the machine's load as the times of compare.sh do:
#  - the whole run of each benchmark (start-up included, the same in all);
#  - the instructions per call of the recursive Fibonacci: fib(n) less
#    fib(1), over the calls between them, at several sizes and with the
#    recursion started at every offset against the Java stack's blocks
#    (PADS extra frames below it, default 0 to 17: a block holds 17 of
#    its frames), in the main thread and in a second one.
# A benchmark, not a test.
#
#   benchmarks/interpreter/instructions.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}/benchmarks/interpreter"
pads="${PADS:-$(seq -s ' ' 0 17)}"
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }

# instructions FIRMWARE ARGS...: the instructions of one run.
instructions() {
  BENCH_ARGS="${*:2}" valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file=/dev/null \
    "$build/bench_$1" 2>&1 >/dev/null | sed -n 's/.*I *refs: *//p' | tr -d ,
}

# per_call FIRMWARE N PAD: instructions per call of fib(N) started PAD frames deep.
per_call() {
  local whole base
  whole="$(instructions "$1" "$2" "$3")"
  base="$(instructions "$1" 1 "$3")"
  awk -v w="$whole" -v b="$base" -v n="$2" 'BEGIN {
    a = 0; c = 1; for (i = 0; i < n; ++i) { t = a + c; a = c; c = t }   # c = fib(n + 1)
    printf "%.1f", (w - b) / (2 * c - 2) }'
}

printf "%-16s %14s\n" benchmark instructions
for b in fib sieve loops virtual_calls virtual_mixed interface_calls java_calls long_ref_calls thread_calls allocation alloc_calls; do
  printf "%-16s %14s\n" "$b" "$(instructions "$b")"
done

echo
printf "%-22s %s\n" "fib per call" "instructions"
for n in 30 32 34; do
  printf "%-22s %s\n" "fib($n)" "$(per_call fib "$n" 0)"
done
printf "%-22s %s\n" "fib(30), second thread" "$(per_call thread_calls 30 0)"

echo
echo "fib(30) per call, started PAD frames deeper"
for pad in $pads; do
  printf "  pad %-3s %s\n" "$pad" "$(per_call fib 30 "$pad")"
done
