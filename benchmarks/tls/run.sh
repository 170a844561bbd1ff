#!/usr/bin/env bash
# TLS benchmark (not a test): the firmware's TLS 1.2 handshakes per second
# and bulk write throughput over its TAP interface, in a network namespace of
# its own (as root), against openssl s_server peers with an EC P-256
# certificate; then, for information, openssl's own client (s_time and
# s_client) doing the same through the same namespace.
#   benchmarks/tls/run.sh [build directory]
set -eu
build=${1:-build}
firmware=$(realpath "$build/benchmarks/tls/bench_tls")
[ -x "$firmware" ] || { echo "build $firmware first"; exit 1; }
. "$(dirname "$0")/../../tests/support/network_namespace.sh"
enter_network_namespace -- "$@"
start_scratch
export OPENSSL_CONF=/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$work/key.pem" \
  -out "$work/cert.pem" -days 2 -subj /CN=bench.test 2>/dev/null
bring_up_tap 24
start_dhcp_server 255.255.255.0
for port in 4441 4442; do
  openssl s_server -quiet -accept 192.0.2.1:$port -cert "$work/cert.pem" -key "$work/key.pem" -tls1_2 \
    </dev/null >/dev/null 2>&1 &
done
sleep 0.3

echo "firmware (mbedTLS over lwIP on the TAP interface):"
TARVELO_TAP=tap0 "$firmware" | sed -n '/Tarvelo START/,$p' | sed '1d;/Tarvelo END/d' | paste - -

echo "openssl's client (host stack), for information:"
openssl s_time -connect 192.0.2.1:4441 -new -time 3 2>/dev/null | grep "connections in" | head -1
start=$(date +%s%N)
head -c 4194304 /dev/zero | openssl s_client -quiet -no_ign_eof -connect 192.0.2.1:4442 >/dev/null 2>&1
echo "tls write 4194304 bytes, ms: $(( ($(date +%s%N) - start) / 1000000 )) (including the client's start)"
