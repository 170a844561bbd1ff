#!/usr/bin/env bash
# Reruns each crash input of the install fuzzers and classifies it:
#
#   record    the fault needs none of the application's code: it happens in
#             the records mode too (install, link, unlink), or its stack
#             passes through code that reads the application's records
#             (loader natives, installed-feature table, type and name
#             records, the collector, the feature manager)
#   bytecode  the fault happens only when the application runs, with the
#             interpreter's own code on top of the stack (the system trusts
#             the bytecode and the constants it carries, its immutables'
#             values included: there is no bytecode verifier)
#   hang      the input ran past the timeout: in the run mode, code of the
#             application that never ends (a record loop would hang the
#             records mode too, and is a record fault)
#   none      no fault when run again (timing or state of an earlier input)
#
# In the run mode a fault of the collector that marks a value found in a
# thread's registers is the application's code's: the value is one its code
# made (trusted constants included), not a record.
#
# Usage: tests/vm/fuzz/classify_findings.sh [-b BUILD_DIR] [-v] CRASH_FILE...
# BUILD_DIR is the fuzz build (build-fuzz by default); -v prints each
# stack's top frames. One line per input: class, mode that faulted, the
# sanitizer's summary and the top frame, then a count per class.
set -uo pipefail
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
build=build-fuzz
verbose=0
while getopts "b:v" opt; do
  case $opt in
    b) build=$OPTARG ;;
    v) verbose=1 ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-v] CRASH_FILE..." >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
records=$build/tests/vm/fuzz/fuzz_install_application
run=$build/tests/vm/fuzz/fuzz_run_application
for f in "$records" "$run"; do
  [[ -x $f ]] || { echo "$f: not built (cmake --build $build --target ${f##*/})" >&2; exit 2; }
done
[[ $# -gt 0 ]] || { echo "usage: $0 [-b BUILD_DIR] [-v] CRASH_FILE..." >&2; exit 2; }

# Sources whose frames read the application's records rather than carry
# out its instructions.
record_readers='feature_loader\.cpp|kf_loader_natives\.cpp|installed_feature_table\.cpp|feature_runtime\.cpp|application_tables_check\.cpp|class_name_resolver\.cpp|class_natives\.cpp|type_tests|garbage_collector\.cpp|compacting_heap\.cpp|gc_roots\.cpp|heap_verifier\.cpp|feature_manager\.cpp|feature_natives|kf_natives|clinit'

# The stack of the faulting thread, from the sanitizer's report, down to
# the interpreter's entry.
stack_of() {
  awk '/^    #[0-9]+ /{print; if ($0 ~ /interpretor|startVM/) exit}' "$1"
}

declare -A count=()
for input in "$@"; do
  out=$(mktemp)
  mode=
  # Records mode first: a fault there needs none of the application's code.
  if ! timeout 120 "$records" -runs=1 -timeout=10 "$input" >/dev/null 2>"$out" || grep -q "^SUMMARY:" "$out"; then
    mode=records
  else
    if ! timeout 120 "$run" -runs=1 -timeout=10 "$input" >/dev/null 2>"$out" || grep -q "^SUMMARY:" "$out"; then
      mode=run
    fi
  fi
  if [[ -z $mode ]]; then
    class=none
    summary="no fault"
    top=
  else
    summary=$(grep -m1 "^SUMMARY:" "$out" | sed 's/^SUMMARY: //')
    [[ -n $summary ]] || summary=$(grep -m1 -E "ERROR|abort|left allocated" "$out")
    stack=$(stack_of "$out")
    top=$(echo "$stack" | head -1 | sed -E 's/^ +#0 0x[0-9a-f]+ in //')
    if [[ $mode == run && $summary == *"libFuzzer: timeout"* ]]; then
      class=hang
    elif [[ $mode == records ]]; then
      class=record
    elif echo "$stack" | grep -qE "visit_stack|visit_thread_roots"; then
      class=bytecode
    elif echo "$stack" | grep -qE "$record_readers"; then
      class=record
    else
      class=bytecode
    fi
  fi
  count[$class]=$(( ${count[$class]:-0} + 1 ))
  printf '%-8s %-7s %s | %s | %s\n' "$class" "${mode:--}" "$input" "$summary" "$top"
  if [[ $verbose == 1 && -n $mode ]]; then
    stack_of "$out" | head -8
  fi
  rm -f "$out"
done
echo "---"
for class in record bytecode hang none; do
  printf '%s: %d\n' "$class" "${count[$class]:-0}"
done
