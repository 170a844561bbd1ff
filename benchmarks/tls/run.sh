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
if [ "${NET_NAMESPACE_INSIDE:-}" != 1 ]; then
  NET_NAMESPACE_INSIDE=1 exec unshare -n "$0" "$@"
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export OPENSSL_CONF=/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$work/key.pem" \
  -out "$work/cert.pem" -days 2 -subj /CN=bench.test 2>/dev/null
ip link set lo up
ip tuntap add dev tap0 mode tap
ip addr add 192.0.2.1/24 dev tap0
ip link set tap0 up
dnsmasq --keep-in-foreground --conf-file=/dev/null --user=root --no-resolv --no-hosts \
  --bind-interfaces --interface=tap0 --except-interface=lo --listen-address=192.0.2.1 \
  --dhcp-range=192.0.2.50,192.0.2.50,255.255.255.0,1h \
  --dhcp-leasefile="$work/leases" 2>/dev/null &
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
