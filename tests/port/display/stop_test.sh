#!/usr/bin/env bash
# Stops the default firmware from outside while it draws, several times:
# its window closed, or SIGINT or SIGTERM with or without the window. Each
# stop must be the orderly one: the END line with the exit code of the stop,
# the exit status of the stop, no fault, and every frame file whole.
# Usage: stop_test.sh <firmware> <close_window> <close|INT|TERM|headless-INT|headless-TERM|early-TERM> [rounds]
# (Xvfb is needed for the stops with the window.)
set -euo pipefail
firmware=$1
close_window=$2
how=$3
rounds=${4:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
case "$how" in
  close) status=0 window=1 ;;
  INT) status=130 window=1 ;;
  TERM) status=143 window=1 ;;
  headless-INT) status=130 window=0 how=INT ;;
  headless-TERM) status=143 window=0 how=TERM ;;
  # Right at the start, before the virtual machine (or even the handlers)
  # exists: a different moment each round.
  early-TERM) status=143 window=0 how=TERM early=1 ;;
  *) echo "unknown stop: $how" >&2; exit 2 ;;
esac
if ((window)); then
  # -noreset: the server would otherwise reset when its last client leaves,
  # and a client that connects meanwhile finds no display.
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>"$out/display" >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null; rm -rf "$out"' EXIT
  for _ in $(seq 100); do [[ -s "$out/display" ]] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$out/display")"
fi

# A finger that keeps sliding for 30 s: the firmware draws a frame after
# frame until it is stopped.
{
  echo "100 press 100 800"
  for ((t = 120, x = 100; t < 30000; t += 20, x = (x == 100 ? 600 : 100))); do echo "$t move $x 800"; done
  echo "30000 release"
} >"$out/touch"

fail=0
for ((round = 1; round <= rounds; round++)); do
  frames="$out/frames-$round"
  # A background job of a script starts with SIGINT ignored, and so would
  # the firmware: as from a terminal instead.
  TARVELO_WINDOW=$window TARVELO_FRAMES=$frames TARVELO_TOUCH_SCRIPT="$out/touch" \
    env --default-signal=INT,TERM "$firmware" >"$out/stdout" 2>"$out/stderr" &
  pid=$!
  # Drawing: a few frames are out; the stop comes at a different moment of
  # a frame each round.
  if ((${early:-0})); then
    sleep "$((round * 3 / 100)).$((round * 3 % 100 / 10))$((round * 3 % 10))"
  else
    for _ in $(seq 300); do
      [[ -f "$frames/frame-00005.png" ]] && break
      sleep 0.05
    done
    sleep "0.$((round * 37 % 100))"
  fi
  if [[ "$how" == close ]]; then
    "$close_window" Tarvelo
  else
    kill -s "$how" "$pid"
  fi
  set +e
  timeout 30 tail --pid="$pid" -f /dev/null
  kill -s KILL "$pid" 2>/dev/null
  wait "$pid"
  got=$?
  set -e
  problems=()
  [[ $got == "$status" ]] || problems+=("exit status $got, not $status")
  last=$(tail -1 "$out/stdout")
  # A signal before the handlers are there ends the process at once.
  if ! ((${early:-0})) || [[ -s "$out/stdout" ]]; then
    [[ "$last" == "Tarvelo END (exit code = $status)" ]] || problems+=("last line \"$last\"")
  fi
  # The fault report names the fault and dumps the registers; a failed
  # assertion says so.
  if grep -q "Fault\|CPUID\|assertion" "$out/stdout" "$out/stderr"; then problems+=("a fault was reported"); fi
  count=0
  for f in "$frames"/frame-*.png; do
    [[ -e "$f" ]] || continue
    count=$((count + 1))
    # A whole PNG file ends with its IEND chunk.
    [[ "$(tail -c 8 "$f" | head -c 4 | tr -d '\0')" == IEND ]] || problems+=("$(basename "$f") is cut short")
  done
  ((${early:-0} || count >= 5)) || problems+=("only $count frames")
  if ((${#problems[@]})); then
    fail=1
    echo "round $round ($how): ${problems[*]}"
    tail -5 "$out/stdout"
    cat "$out/stderr"
  else
    echo "round $round ($how): stopped after $count frames"
  fi
done
exit $fail
