#!/usr/bin/env bash
# classify_findings.sh over a tiny fixture: findings made from a seed by
# changing a few bytes, and stand-ins of the two fuzz targets that fault
# only when chosen bytes of the input have chosen values (as a sanitizer
# reports a fault). The classification must follow the bytes the fault
# needs, whatever else the finding changed.
#
#   classify_findings_test.sh CLASSIFIER BUILD_DIR
# BUILD_DIR holds the reducer and the seeds with their maps.
set -euo pipefail
classifier=$1
build=$2
seeds=$build/tests/vm/fuzz/apps
seed=$seeds/hello.tvf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A stand-in of a fuzz target: libFuzzer's lines for each file, and a
# fault when every OFFSET:VALUE of its FAULT variable matches the file.
cat >"$work/target" <<'TARGET'
#!/usr/bin/env bash
condition=${!FAULT_VARIABLE:-}
for f in "$@"; do
  [[ $f == -* ]] && continue
  echo "Running: $f" >&2
  hit=${condition:+1}
  for pair in $condition; do
    [[ $(od -An -tu1 -j "${pair%%:*}" -N1 "$f" | tr -d ' ') == "${pair##*:}" ]] || hit=
  done
  if [[ -n $hit ]]; then
    echo "==1==ERROR: AddressSanitizer: SEGV on unknown address 0x000000000010" >&2
    echo "    #0 0x5555 in tarvelo::stand_in(unsigned int) stand_in.cpp:1:1" >&2
    echo "SUMMARY: AddressSanitizer: SEGV stand_in.cpp:1:1 in tarvelo::stand_in(unsigned int)" >&2
    exit 1
  fi
  echo "Executed $f in 1 ms" >&2
done
TARGET
chmod +x "$work/target"
printf '#!/usr/bin/env bash\nFAULT_VARIABLE=RECORDS_FAULT exec %q "$@"\n' "$work/target" >"$work/records"
printf '#!/usr/bin/env bash\nFAULT_VARIABLE=RUN_FAULT exec %q "$@"\n' "$work/target" >"$work/run"
chmod +x "$work/records" "$work/run"

# File offsets from the seed's map: the content follows the header and
# the two section entries.
content=$((64 + 2 * 12))
code=$(awk '$1 == "method" && $6 ~ /^app\.hello\.Hello\.run/ {print $4}' "$seed.map")
type=$(awk '$1 == "item" && $4 == "type" && $5 == "app.hello.Hello" {print $2}' "$seed.map")
[[ -n $code && -n $type ]] || { echo "no method code or type header of app.hello.Hello in $seed.map"; exit 1; }
code_at=$((content + code + 2))
type_at=$((content + type + 1))

# The seed with bytes set: OFFSET:VALUE...
finding() {
  local out=$work/$1
  shift
  cp "$seed" "$out"
  for pair in "$@"; do
    printf "$(printf '\\%03o' "${pair##*:}")" | dd of="$out" bs=1 seek="${pair%%:*}" conv=notrunc status=none
  done
  echo "$out"
}
noise="20:7 300:1 301:2 $((content + 40)):9"
# name | bytes of the finding | records-mode fault | run-mode fault | class | changes left | a region named
cases=(
  "code-only|$code_at:171 $noise||$code_at:171|bytecode|1|method code: method app.hello.Hello.run"
  "code-and-type|$code_at:171 $type_at:77 $noise||$code_at:171 $type_at:77|record|2|content: type app.hello.Hello"
  "records-mode|$type_at:77 $noise|$type_at:77||record|1|content: type app.hello.Hello"
  "header|20:7 $noise||20:7|record|1|header: section table offset"
  "no-fault|$noise|||none|0|"
)
failures=0
for c in "${cases[@]}"; do
  IFS='|' read -r name bytes records_fault run_fault expected changes region <<<"$c"
  # shellcheck disable=SC2086
  file=$(finding "$name" $bytes)
  output=$(RECORDS_FAULT=$records_fault RUN_FAULT=$run_fault \
           "$classifier" -b "$build" -r "$work/records" -x "$work/run" -s "$seeds" "$file")
  got=$(head -1 <<<"$output" | awk '{print $1}')
  left=$(grep -c "^      at " <<<"$output" || true)
  if [[ $got != "$expected" || $left != "$changes" || $output != *"$region"* ]]; then
    echo "FAIL $name: class $got (expected $expected), $left change(s) left (expected $changes), region '$region'"
    echo "$output"
    failures=$((failures + 1))
  else
    echo "ok   $name: $got, $left change(s) left"
  fi
done
exit $((failures > 0))
