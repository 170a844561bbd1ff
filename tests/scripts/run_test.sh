#!/usr/bin/env bash
# scripts/run on a tree of its own (a stand-in for cmake, and a firmware that
# prints what it was given): the paths of --frames and --touch are the
# caller's, relative ones taken from the folder it runs in.
# Usage: run_test.sh <scripts/run>
set -euo pipefail
run=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/repo/scripts" "$tree/repo/build/images" "$tree/bin" "$tree/caller/sub"
cp "$run" "$tree/repo/scripts/run"
touch "$tree/repo/build/build.ninja"
printf '#!/bin/sh\nexit 0\n' >"$tree/bin/cmake"
printf '#!/bin/sh\necho "frames=$TARVELO_FRAMES"\necho "touch=$TARVELO_TOUCH_SCRIPT"\necho "args=$*"\n' \
  >"$tree/repo/build/images/firmware"
chmod +x "$tree/bin/cmake" "$tree/repo/build/images/firmware"

fail=0
check() {  # <folder to run in> <expected output> <run's arguments...>
  local dir=$1 expected=$2
  shift 2
  local got
  got=$(cd "$dir" && PATH="$tree/bin:$PATH" "${script:-$tree/repo/scripts/run}" "$@" | tr '\n' ' ')
  if [[ "$got" != "$expected" ]]; then
    echo "run $* in $dir: got \"$got\", expected \"$expected\""
    fail=1
  fi
}
c=$tree/caller
check "$c" "frames=$c/out touch=$c/t.touch args= " --frames out --touch t.touch
check "$c/sub" "frames=$c/sub/../out touch=$c/sub/a b/t.touch args=x " --frames ../out --touch "a b/t.touch" x
check "$c" "frames=/abs/out touch=/abs/t.touch args= " --frames /abs/out --touch /abs/t.touch
# Through a relative path to the script too.
script=repo/scripts/run check "$tree" "frames=$tree/f touch=$tree/t args= " --frames f --touch t
exit $fail
