#!/usr/bin/env bash
# Runs the TLS program's firmware inside a network namespace of its own,
# against openssl peers with certificates made here:
#   a root CA (RSA), an intermediate CA (EC) and leaves for peer.test (EC,
#   under the intermediate; RSA under the root), an expired leaf, a leaf for
#   the wrong name, and the firmware's own self-signed RSA identity with a
#   password-protected key (DER and PEM).
# The namespace has a TAP interface (tap0, 192.0.2.1/25 on the host side),
# dnsmasq serving DHCP (192.0.2.50) and these peers on 192.0.2.1:
#   4431 TLS 1.2, the EC leaf and its chain, reversing each line
#   4432 TLS 1.1 only, the RSA leaf, reversing each line
#   4433 the expired leaf        4434 the wrong-name leaf
#   4435 accepts and never answers (a stalled handshake)
#   4436 reads the first bytes of the handshake and closes
#   4437 serves files over TLS 1.2 (a large download)
#   4440 TLS 1.2 as 4431, with P-521 as its only key-exchange curve
#   4438 relays 4431 and closes without close_notify in the middle of the
#        second record of data; 4439 the same after the second record
# and a client that connects to the firmware's TLS server on 8443, sends
# 65,536 bytes and must get the same bytes back. Only documentation
# addresses are used and nothing leaves the namespace. The firmware reads
# the certificate files from TARVELO_TLS_FILES; its console after
# "Tarvelo START" must match the expected file.
#   run_tls_program.sh <firmware> <expected> <record-cutting relay>
# Exit 77 (skipped) when namespaces, dnsmasq, socat or openssl are missing.
set -u
firmware=$(realpath "$1")
expected=$(realpath "$2")
relay=$(realpath "$3")

. "$(dirname "$0")/../../../support/network_namespace.sh"
enter_network_namespace unshare ip dnsmasq socat openssl -- "$@"
start_scratch

# --- certificates ---------------------------------------------------------------
files=$work/files
mkdir -p "$files" "$work/db" "$work/www"
export OPENSSL_CONF=/dev/null
o() { openssl "$@" 2>>"$work/openssl.log" || { cat "$work/openssl.log"; exit 1; }; }
cd "$work"
o req -x509 -newkey rsa:2048 -nodes -keyout root.key -out "$files/root.pem" -days 30 -subj /CN=Test-Root \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
o ecparam -name prime256v1 -out ec.param
o req -newkey ec:ec.param -nodes -keyout inter.key -out inter.csr -subj /CN=Test-Intermediate
printf 'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n' >ca.ext
o x509 -req -in inter.csr -CA "$files/root.pem" -CAkey root.key -CAcreateserial -out "$files/inter.pem" -days 30 \
  -extfile ca.ext
# leaf <name> <key type> <issuer certificate> <issuer key> <host name>
leaf() {
  o req -newkey "$2" -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$5"
  printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\n' "$5" >"$1.ext"
  o x509 -req -in "$1.csr" -CA "$3" -CAkey "$4" -CAcreateserial -out "$1.pem" -days 30 -extfile "$1.ext"
}
leaf peer ec:ec.param "$files/inter.pem" inter.key peer.test
leaf rsapeer rsa:2048 "$files/root.pem" root.key peer.test
leaf wrongname rsa:2048 "$files/root.pem" root.key other.test
# Expired: valid in 2020 only, issued through a throw-away CA database.
: >db/index
echo 01 >db/serial
printf '[ca]\ndefault_ca=c\n[c]\ndatabase=db/index\nserial=db/serial\nnew_certs_dir=db\ndefault_md=sha256\npolicy=p\ncopy_extensions=copy\n[p]\ncommonName=supplied\n' >ca.cnf
o req -newkey rsa:2048 -nodes -keyout expired.key -out expired.csr -subj /CN=peer.test \
  -addext subjectAltName=DNS:peer.test
o ca -batch -config ca.cnf -cert "$files/root.pem" -keyfile root.key -in expired.csr -out expired.pem \
  -startdate 20200101000000Z -enddate 20210101000000Z -notext
# The firmware's identity: a self-signed RSA certificate (PEM and DER) and
# its key in PKCS#8, encrypted with the password "secret".
o genrsa -out fw.plain.key 2048
o pkcs8 -topk8 -in fw.plain.key -v2 des3 -v2prf hmacWithSHA1 -passout pass:secret -out "$files/fw.key"
o req -x509 -key fw.plain.key -out "$files/fw.pem" -days 30 -subj /CN=firmware.test \
  -addext subjectAltName=DNS:firmware.test
o x509 -in "$files/fw.pem" -outform DER -out "$files/fw.der"
# 300,000 bytes to download, 65,536 to send to the firmware.
head -c 300000 /dev/zero | tr '\0' 'x' >www/big.txt
seq 1 20000 | head -c 65536 >upload.bin

# --- the network ------------------------------------------------------------------
bring_up_tap 25
start_dhcp_server 255.255.255.128

# serve <port> <certificate> <key> [options...]: a line-reversing TLS server.
serve() {
  local port=$1 cert=$2 key=$3
  shift 3
  openssl s_server -quiet -accept "192.0.2.1:$port" -cert "$cert" -key "$key" -rev "$@" \
    >"$work/s_server.$port.log" 2>&1 </dev/null &
  pids+=($!)
}
serve 4431 peer.pem peer.key -cert_chain "$files/inter.pem" -tls1_2
serve 4432 rsapeer.pem rsapeer.key -tls1_1 -cipher 'DEFAULT:@SECLEVEL=0'
serve 4433 expired.pem expired.key -tls1_2
serve 4434 wrongname.pem wrongname.key -tls1_2
serve 4440 peer.pem peer.key -cert_chain "$files/inter.pem" -tls1_2 -curves secp521r1
socat TCP-LISTEN:4435,bind=192.0.2.1,fork,reuseaddr SYSTEM:'sleep 30' 2>/dev/null &
pids+=($!)
socat TCP-LISTEN:4436,bind=192.0.2.1,fork,reuseaddr SYSTEM:'head -c 5 >/dev/null' 2>/dev/null &
pids+=($!)
(cd www && exec openssl s_server -quiet -accept 192.0.2.1:4437 -cert ../peer.pem -key ../peer.key \
  -cert_chain "$files/inter.pem" -tls1_2 -WWW >"$work/s_server.4437.log" 2>&1 </dev/null) &
pids+=($!)
"$relay" 192.0.2.1 4438 192.0.2.1 4431 1 half 2>/dev/null &
pids+=($!)
"$relay" 192.0.2.1 4439 192.0.2.1 4431 2 boundary 2>/dev/null &
pids+=($!)
# The firmware's server: connect once it listens, send, take the answer.
(
  for _ in $(seq 600); do
    if openssl s_client -quiet -connect 192.0.2.50:8443 -CAfile "$files/fw.pem" -verify_return_error \
        -verify_hostname firmware.test <upload.bin >"$work/download.bin" 2>"$work/s_client.log"; then
      break
    fi
    grep -q "connect:errno" "$work/s_client.log" || break
    sleep 0.1
  done
) &
client_pid=$!
pids+=($client_pid)

TARVELO_TAP=tap0 TARVELO_TLS_FILES="$files" TARVELO_GC_STRESS=1 TARVELO_HEAP_VERIFY=1 \
  timeout 250 "$firmware" >"$work/out" 2>"$work/err" &
firmware_pid=$!
wait "$firmware_pid"
status=$?
sed -n '/Tarvelo START/,$p' "$work/out" | tail -n +2 >"$work/console"
[ -n "${TLS_KEEP_CONSOLE:-}" ] && cp "$work/out" "$work/err" "$TLS_KEEP_CONSOLE"/
failed=0
if ! diff -u "$expected" "$work/console"; then
  echo "--- firmware stderr:"; cat "$work/err"
  failed=1
fi
if [ "$status" -ne 0 ]; then
  echo "firmware exit status $status"; cat "$work/err"
  failed=1
fi
# The client has its answer once the firmware has shut the session down;
# one that never connected is stopped.
for _ in $(seq 50); do kill -0 "$client_pid" 2>/dev/null || break; sleep 0.1; done
kill "$client_pid" 2>/dev/null
if ! cmp upload.bin "$work/download.bin"; then
  echo "--- the firmware's server did not echo the upload"; cat "$work/s_client.log"
  failed=1
fi
exit $failed
