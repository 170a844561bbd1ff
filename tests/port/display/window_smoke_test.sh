#!/usr/bin/env bash
# The window on a virtual X server: the default firmware opens it, plays a
# touch script through the port and ends normally; the window reports no
# failure. Usage: window_smoke_test.sh <firmware> <touch script>
set -euo pipefail
firmware=$1
script=$2
out=$(mktemp -d)
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>"$out/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$out"' EXIT
for _ in $(seq 100); do [[ -s "$out/display" ]] && break; sleep 0.1; done
display=":$(cat "$out/display")"
DISPLAY=$display TARVELO_WINDOW=1 TARVELO_CLOCK=virtual TARVELO_TOUCH_SCRIPT=$script \
  timeout 60 "$firmware" >"$out/stdout" 2>"$out/stderr"
cat "$out/stdout"
if grep -q '^window:' "$out/stderr"; then
  cat "$out/stderr" >&2
  exit 1
fi
tail -1 "$out/stdout" | grep -qx 'Tarvelo END (exit code = 0)'
