#!/usr/bin/env bash
# The network scripts' scratch handling (tests/support/network_namespace.sh)
# under `set -eu`, as the benchmarks use it: a script whose background peers
# have already ended by the time it exits keeps its own exit status, and its
# scratch folder is removed; a live peer is stopped.
#   network_namespace_test.sh <network_namespace.sh>
set -u
support=$1
failures=0

# run_case NAME STATUS SCRIPT: runs SCRIPT (after sourcing the support and
# starting the scratch) and checks that it ends with STATUS, with its
# scratch folder gone.
run_case() {
  local name=$1 expected=$2 body=$3 out status
  out=$(bash -c "set -eu; . '$support'; start_scratch; echo \"\$work\"; $body")
  status=$?
  local work=${out%%$'\n'*}
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL $name: exit status $status, expected $expected"
    failures=$((failures + 1))
  elif [ -z "$work" ] || [ -e "$work" ]; then
    echo "FAIL $name: the scratch folder '$work' is left"
    failures=$((failures + 1))
  else
    echo "ok $name"
  fi
}

run_case "ended peer in \$pids" 0 'true & pids+=($!); wait; exit 0'
run_case "ended background job" 0 'true & wait; exit 0'
run_case "ended peer, failing script" 3 'true & pids+=($!); wait; exit 3'
run_case "live peer stopped" 0 'sleep 60 & pids+=($!); exit 0'
run_case "no peers" 0 'exit 0'
exit $((failures > 0))
