#!/usr/bin/env bash
# Network benchmark (not a test): the firmware's TCP throughput and
# connection rate over its TAP interface, in a network namespace of its own
# (as root), against socat peers on the host side; then, for information,
# the host's own stack doing the same through the same namespace's loopback.
#   benchmarks/network/run.sh [build directory]
set -eu
build=${1:-build}
firmware=$build/benchmarks/network/bench_network
[ -x "$firmware" ] || { echo "build $firmware first"; exit 1; }
. "$(dirname "$0")/../../tests/support/network_namespace.sh"
enter_network_namespace -- "$@"
start_scratch
bring_up_tap 24
start_dhcp_server 255.255.255.0
socat -u TCP-LISTEN:7101,bind=192.0.2.1,fork,reuseaddr OPEN:/dev/null 2>/dev/null &
socat -u TCP-LISTEN:7102,bind=192.0.2.1,fork,reuseaddr,backlog=128 OPEN:/dev/null 2>/dev/null &
sleep 0.2

echo "firmware (lwIP over the TAP interface):"
TARVELO_TAP=tap0 "$firmware" | sed -n '/Tarvelo START/,$p' | sed '1d;/Tarvelo END/d' | paste - -

echo "host stack (loopback of the namespace), for information:"
start=$(date +%s%N)
head -c 8388608 /dev/zero | socat -u - TCP:192.0.2.1:7101
echo "tcp 8388608 bytes, ms: $(( ($(date +%s%N) - start) / 1000000 ))"
start=$(date +%s%N)
for _ in $(seq 200); do socat -u /dev/null TCP:192.0.2.1:7102 2>/dev/null || true; done
echo "tcp 200 connections, ms: $(( ($(date +%s%N) - start) / 1000000 )) (including a socat process each)"
