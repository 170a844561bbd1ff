#!/usr/bin/env bash
# The include check on a small tree of its own: each include below is one
# case, the ones marked "bad" break a rule and must be named (file and
# line), the others must pass.
set -euo pipefail
check=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# file | included header | expected
cases='
vm/natives/a.cpp|vm/core/engine/x.h|ok
vm/natives/b.cpp|vm/model/image_format.h|ok
vm/core/a.cpp|vm/memory/heap_set.h|ok
vm/core/b.cpp|vm/natives/native_support.h|bad
vm/memory/a.h|vm/model/vm_component.h|ok
vm/memory/b.h|vm/core/lifecycle/x.h|bad
vm/memory/c.cpp|vm/natives/x.h|bad
vm/model/a.h|platform/address.h|ok
vm/model/b.h|vm/memory/object_model.h|bad
platform/board/a.cpp|platform/halt.h|ok
platform/board/b.cpp|vm/core/engine/fault_handlers.h|bad
platform/enet/c.cpp|port/net/x.h|bad
graphics/natives/a.cpp|vm/core/engine/sni.h|ok
graphics/natives/vm_binding.cpp|vm/memory/support_allocator.h|ok
graphics/shapes/a.cpp|vm/core/runtime_support/math.h|ok
graphics/display/b.cpp|vm/memory/support_allocator.h|bad
graphics/display/c.cpp|vm/core/threads/vm_thread.h|bad
bsp/zev/port/kf/src/a.cpp|bsp/zev/port/kf/src/a.h|ok
vm/core/startup/c.cpp|bsp/zev/port/kf/inc/a.h|ok
vm/natives/c.cpp|bsp/zev/port/kf/src/a.h|bad
'

# Writes the cases into the tree at $1, only the good ones when $2 is "ok";
# prints "file:line: includes "header"" for each bad one written.
make_tree() {
  while IFS='|' read -r file header verdict; do
    [ -n "$file" ] || continue
    [ "$2" = ok ] && [ "$verdict" = bad ] && continue
    mkdir -p "$1/$(dirname "$file")"
    printf '// a case\n#include "%s"\n' "$header" >>"$1/$file"
    if [ "$verdict" = bad ]; then echo "$file:$(wc -l <"$1/$file"): includes \"$header\""; fi
  done <<<"$cases"
}

want=$(make_tree "$root/all" all | sort)
status=0
output=$("$check" --root "$root/all" 2>/dev/null) || status=$?
named=$(printf '%s\n' "$output" | sed -E 's/(includes "[^"]*").*/\1/' | sort)
if [ "$status" -ne 1 ] || [ "$named" != "$want" ]; then
  echo "status $status (expected 1); named:"; printf '%s\n' "$named"
  echo "expected:"; printf '%s\n' "$want"
  exit 1
fi

make_tree "$root/good" ok
"$check" --root "$root/good" >/dev/null || { echo "a tree without bad includes fails the check"; exit 1; }
echo "include check: every bad include named, a clean tree passes"
