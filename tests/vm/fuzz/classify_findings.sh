#!/usr/bin/env bash
# Reruns each crash input of the install fuzzers and classifies it by its
# cause: the input is reduced to the fewest bytes of its seed it must
# change to give the same fault (fuzz_reduce_finding: delta debugging over
# the changed bytes, each candidate run again), and each changed byte left
# is placed in the file's structure (header, section entries, type
# headers, method records, method code, tables, strings, immutables,
# relocation records...).
#
#   record    some byte it needs lies outside the code of methods: the
#             loader, linker, collector or a native trusted a record (a
#             check missing). Faults of the records mode (install, link,
#             unlink: none of the application's code runs) are record
#             faults whatever they change.
#   bytecode  every byte it needs lies in the code of methods: the system
#             trusts the bytecode and the constants it carries (there is no
#             bytecode verifier)
#   hang      the harness's hang budget ended the input (or libFuzzer's
#             timeout, unreduced) and every byte it needs lies in the code
#             of methods: code of the application that never ends and that
#             the kill does not end either
#   none      no fault when run again (timing or state of an earlier input)
#
# Usage: tests/vm/fuzz/classify_findings.sh [-b BUILD_DIR] [-v] [-q] CRASH_FILE...
# BUILD_DIR is the fuzz build (build-fuzz by default): its targets, the
# reducer and the seeds with their maps (tests/vm/fuzz/apps). -r and -x
# name other records- and run-mode targets, -s another seed directory.
# One line per input: class, mode that faulted, the sanitizer's summary
# and the top frame; then the reduced changes, each with the region it
# hits (the reduced input is written beside it as CRASH_FILE.reduced);
# then a count per class. -v prints each stack's top frames too. With -q
# a bytecode finding whose fault (summary and top frame) an earlier one of
# the same run already showed is classified without its reduction.
set -uo pipefail
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
build=build-fuzz
verbose=0
quick=0
records=
run=
seeds=
usage() { echo "usage: $0 [-b BUILD_DIR] [-r RECORDS_TARGET] [-x RUN_TARGET] [-s SEED_DIR] [-v] [-q] CRASH_FILE..." >&2; exit 2; }
while getopts "b:r:x:s:vq" opt; do
  case $opt in
    b) build=$OPTARG ;;
    r) records=$OPTARG ;;
    x) run=$OPTARG ;;
    s) seeds=$OPTARG ;;
    v) verbose=1 ;;
    q) quick=1 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
records=${records:-$build/tests/vm/fuzz/fuzz_install_application}
run=${run:-$build/tests/vm/fuzz/fuzz_run_application}
seeds=${seeds:-$build/tests/vm/fuzz/apps}
reducer=$build/tests/vm/fuzz/fuzz_reduce_finding
for f in "$records" "$run" "$reducer"; do
  [[ -x $f ]] || { echo "$f: not built (cmake --build $build --target ${f##*/})" >&2; exit 2; }
done
[[ -d $seeds ]] || { echo "$seeds: no seeds with their maps" >&2; exit 2; }
[[ $# -gt 0 ]] || usage

# The stack of the faulting thread, from the sanitizer's report, down to
# the interpreter's entry.
stack_of() {
  awk '/^    #[0-9]+ /{print; if ($0 ~ /interpretor|startVM/) exit}' "$1"
}

declare -A count=() shown=()
for input in "$@"; do
  # A reduction of an earlier run, not a finding.
  [[ $input == *.reduced ]] && continue
  out=$(mktemp)
  mode=
  bin=
  # Records mode first: a fault there needs none of the application's code.
  if ! timeout 120 "$records" -runs=1 -timeout=10 "$input" >/dev/null 2>"$out" || grep -q "^SUMMARY:" "$out"; then
    mode=records
    bin=$records
  elif ! timeout 120 "$run" -runs=1 -timeout=10 "$input" >/dev/null 2>"$out" || grep -q "^SUMMARY:" "$out"; then
    mode=run
    bin=$run
  fi
  changes=
  if [[ -z $mode ]]; then
    class=none
    summary="no fault"
    top=
  else
    summary=$(grep -m1 "^SUMMARY:" "$out" | sed 's/^SUMMARY: //')
    [[ -n $summary ]] || summary=$(grep -m1 -E "ERROR|abort|left allocated" "$out")
    complaint=$(grep -m1 "^fuzz_install_application: " "$out" | sed 's/^fuzz_install_application: //')
    [[ -z $complaint ]] || summary="$summary ($complaint)"
    # The first frame of the firmware or the harness, not of the
    # sanitizers, libFuzzer or the C library.
    top=$(stack_of "$out" | grep -vE " in (__sanitizer|__asan|__ubsan|fuzzer::|__pthread|raise|abort|gsignal)|libc\.so" |
          head -1 | sed -E 's/^ +#[0-9]+ 0x[0-9a-f]+ in //')
    if [[ $summary == *"libFuzzer: timeout"* ]]; then
      class=hang
    else
      key="$mode|$summary|$top"
      once=()
      [[ $quick == 1 && -n ${shown[$key]:-} ]] && once=(-q)
      reduction=$("$reducer" "${once[@]}" "$bin" "$seeds" "$input" 2>&1)
      case $(sed -n 's/^class: //p' <<<"$reduction") in
        bytecode) class=bytecode ;;
        record) class=record ;;
        *) class=none ;;
      esac
      [[ $mode == records && $class == bytecode ]] && class=record
      [[ $complaint == "input hangs"* && $class == bytecode ]] && class=hang
      changes=$(grep -E "^(seed|reduced|the |  at )" <<<"$reduction")
      [[ $class != bytecode || ${#once[@]} -gt 0 ]] || shown[$key]=1
    fi
  fi
  count[$class]=$(( ${count[$class]:-0} + 1 ))
  printf '%-8s %-7s %s | %s | %s\n' "$class" "${mode:--}" "$input" "$summary" "$top"
  [[ -z $changes ]] || sed 's/^/    /' <<<"$changes"
  if [[ $verbose == 1 && -n $mode ]]; then
    stack_of "$out" | head -8
  fi
  rm -f "$out"
done
echo "---"
for class in record bytecode hang none; do
  printf '%s: %d\n' "$class" "${count[$class]:-0}"
done
