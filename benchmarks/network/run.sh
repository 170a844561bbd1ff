#!/usr/bin/env bash
# Network benchmark (not a test): the firmware's TCP throughput and
# connection rate over its TAP interface, in a network namespace of its own
# (as root), against socat peers on the host side. Beside it, the peer it is
# judged by: two Linux stacks, each in a namespace of its own, joined by a
# TAP relay that carries each frame with one read and one write, moving the
# same 8 MiB (the firmware's own path costs one TAP write per frame sent).
# Each is run three times and the best counts; the ratio is the firmware's
# throughput over the relay's, with the firmware's threads scheduled freely
# and on one host CPU. For information, the host's stack on the namespace's
# own interface.
#   benchmarks/network/run.sh [build directory]
set -eu
build=${1:-build}
firmware=$build/benchmarks/network/bench_network
relay=$build/benchmarks/network/tap_relay
[ -x "$firmware" ] && [ -x "$relay" ] || { echo "build $firmware and $relay first"; exit 1; }
. "$(dirname "$0")/../../tests/support/network_namespace.sh"
enter_network_namespace -- "$@"
start_scratch
bring_up_tap 24
start_dhcp_server 255.255.255.0
socat -u TCP-LISTEN:7101,bind=192.0.2.1,fork,reuseaddr OPEN:/dev/null 2>/dev/null &
pids+=($!)
socat -u TCP-LISTEN:7102,bind=192.0.2.1,fork,reuseaddr,backlog=128 OPEN:/dev/null 2>/dev/null &
pids+=($!)
sleep 0.2

best() { sort -n | head -1; }
ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

# run_firmware NAME [VARIABLE=VALUE...]: three runs, the best figures.
run_firmware() {
  local name=$1
  shift
  for _ in 1 2 3; do
    env TARVELO_TAP=tap0 "$@" "$firmware" | sed -n '/Tarvelo START/,$p' | sed '1d;/Tarvelo END/d' | paste - - \
      >>"$work/$name"
  done
  echo "tcp 8388608 bytes, ms: $(grep -F "tcp 8388608 bytes" "$work/$name" | cut -f2 | best)"
  echo "tcp 200 connections, ms: $(grep -F "tcp 200 connections" "$work/$name" | cut -f2 | best)"
}
echo "firmware (lwIP over the TAP interface), best of 3:"
run_firmware firmware
firmware_ms=$(grep -F "tcp 8388608 bytes" "$work/firmware" | cut -f2 | best)
# One host CPU for all of the firmware's threads, as the device has one
# core: every hand-off between tasks stays on that CPU.
echo "firmware with its threads on one host CPU (TARVELO_HOST_CPU=auto), best of 3:"
run_firmware pinned TARVELO_HOST_CPU=auto
pinned_ms=$(grep -F "tcp 8388608 bytes" "$work/pinned" | cut -f2 | best)

# The relay's two stacks: namespaces held by a sleeping process each.
unshare -n sleep 600 &
sender=$!
unshare -n sleep 600 &
receiver=$!
pids+=($sender $receiver)
"$relay" relay0 relay1 >"$work/relay" &
pids+=($!)
for _ in $(seq 50); do grep -q ready "$work/relay" 2>/dev/null && break; sleep 0.1; done
ip link set relay0 netns "$sender"
ip link set relay1 netns "$receiver"
nsenter -t "$sender" -n sh -c 'ip link set lo up; ip addr add 192.0.2.101/24 dev relay0; ip link set relay0 up'
nsenter -t "$receiver" -n sh -c 'ip link set lo up; ip addr add 192.0.2.102/24 dev relay1; ip link set relay1 up'
nsenter -t "$receiver" -n socat -u TCP-LISTEN:7101,bind=192.0.2.102,fork,reuseaddr OPEN:/dev/null 2>/dev/null &
pids+=($!)
sleep 0.3
echo "two Linux stacks through a TAP relay, best of 3:"
for _ in 1 2 3; do
  start=$(date +%s%N)
  head -c 8388608 /dev/zero | nsenter -t "$sender" -n socat -u - TCP:192.0.2.102:7101
  ms_since "$start" >>"$work/relay_ms"
done
relay_ms=$(best <"$work/relay_ms")
echo "tcp 8388608 bytes, ms: $relay_ms (including a socat process)"
ratio() { awk -v f="$1" -v r="$relay_ms" 'BEGIN { printf "%.2f", r / f }'; }
echo "ratio firmware / relay throughput: $(ratio "$firmware_ms")"
echo "ratio firmware on one host CPU / relay throughput: $(ratio "$pinned_ms")"

echo "host stack (loopback of the namespace), for information:"
start=$(date +%s%N)
head -c 8388608 /dev/zero | socat -u - TCP:192.0.2.1:7101
echo "tcp 8388608 bytes, ms: $(ms_since "$start")"
start=$(date +%s%N)
for _ in $(seq 200); do socat -u /dev/null TCP:192.0.2.1:7102 2>/dev/null || true; done
echo "tcp 200 connections, ms: $(ms_since "$start") (including a socat process each)"
