#!/usr/bin/env bash
# TLS benchmark (not a test): the firmware's TLS 1.2 handshakes per second
# and bulk write throughput over its TAP interface, in a network namespace of
# its own (as root), against openssl s_server peers with an EC P-256
# certificate; then openssl's own client (s_time and s_client) doing the same
# through the same namespace. Prints the ratios: the firmware's handshake
# wall time against its own time inside the TLS library and in the
# public-key operations (1 would be no waiting at all), and against
# openssl's handshake.
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
# The servers' standard input stays open (a FIFO this script holds open for
# reading and writing): at the end of its input s_server ends the session
# it serves, which would cut the firmware's bulk write short.
mkfifo "$work/server_input"
exec 3<>"$work/server_input"
for port in 4441 4442; do
  openssl s_server -quiet -accept 192.0.2.1:$port -cert "$work/cert.pem" -key "$work/key.pem" -tls1_2 \
    <&3 >/dev/null 2>&1 &
  pids+=($!)
done
sleep 0.3

echo "firmware (mbedTLS over lwIP on the TAP interface):"
status=0
TARVELO_TAP=tap0 "$firmware" >"$work/console" || status=$?
sed -n '/Tarvelo START/,$p' "$work/console" | sed '1d;/Tarvelo END/d' | paste - - >"$work/firmware"
cat "$work/firmware"
# The firmware ends with exit code 1 when a connection, handshake or write
# failed; every figure must be there.
[ "$status" -eq 0 ] || { echo "the firmware failed (exit status $status)"; exit 1; }
figure() {
  local value
  value=$(grep -F "$1" "$work/firmware" | cut -f2)
  [[ "$value" =~ ^[0-9]+$ ]] || { echo "the firmware printed no figure for \"$1\"" >&2; exit 1; }
  echo "$value"
}
handshakes_ms=$(figure "tls handshakes 20, ms:")
library_total_us=$(figure "in the library, us:")
public_key_total_us=$(figure "public-key operations, us:")
figure "tls write 4194304 bytes, ms:" >/dev/null
wall_us=$(( handshakes_ms * 1000 / 20 ))
library_us=$(( library_total_us / 20 ))
public_key_us=$(( public_key_total_us / 20 ))

echo "openssl's client (host stack):"
start=$(date +%s%N)
connections=$(openssl s_time -connect 192.0.2.1:4441 -new -time 3 2>/dev/null | grep -m1 "connections in" | cut -d' ' -f1)
openssl_us=$(( ($(date +%s%N) - start) / 1000 / connections ))
echo "tls handshakes $connections, us each: $openssl_us"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "per handshake: wall $wall_us us, in the library $library_us us, public-key operations $public_key_us us"
echo "ratio wall / in the library: $(ratio "$wall_us" "$library_us")"
echo "ratio wall / public-key operations: $(ratio "$wall_us" "$public_key_us")"
echo "ratio firmware / openssl handshake: $(ratio "$wall_us" "$openssl_us")"
start=$(date +%s%N)
head -c 4194304 /dev/zero | openssl s_client -quiet -no_ign_eof -connect 192.0.2.1:4442 >/dev/null 2>&1
echo "tls write 4194304 bytes, ms: $(( ($(date +%s%N) - start) / 1000000 )) (including the client's start)"
