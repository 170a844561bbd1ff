#!/usr/bin/env bash
# Runs a network program's firmware inside a network namespace of its own:
# a TAP interface (tap0, 192.0.2.1/25 on the host side), dnsmasq serving
# DHCP (one address, 192.0.2.50/25) and DNS (peer.test is 192.0.2.1) on it,
# socat peers (TCP echo on 7001, UDP echo on 7002, a TCP peer on 7003
# that closes each connection at once) and a client that opens
# a connection to the firmware's port 8080. Only documentation addresses
# are used and nothing leaves the namespace. The console after
# "Tarvelo START" must match the expected file.
#   run_network_program.sh <firmware> <expected> [MODE]
# Modes:
#   --no-cable         the firmware without a TAP device (needs no namespace)
#   --late-dhcp-server the DHCP server starts 40 s after the firmware; once
#                      the client has failed and started again by itself,
#                      the cable is taken out and put back
#   --link-drop        a peer on 7004 sends 4 MiB (pausing at half) and keeps
#                      what the firmware echoes; when the firmware reports
#                      "halfway" the cable is out for 3 s while the peer goes
#                      on; the echo must equal what was sent
# Exit 77 (skipped) when namespaces, dnsmasq or socat are not available.
set -u
firmware=$1
expected=$2
mode=${3:-}

. "$(dirname "$0")/../../support/network_namespace.sh"

# Without a cable: the firmware runs as it is, on its loopback interface only.
if [ "$mode" = --no-cable ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  env -u TARVELO_TAP TARVELO_GC_STRESS=1 TARVELO_HEAP_VERIFY=1 timeout 60 "$firmware" >"$work/out" 2>"$work/err"
  status=$?
  sed -n '/Tarvelo START/,$p' "$work/out" | tail -n +2 >"$work/console"
  diff -u "$expected" "$work/console" || { cat "$work/err"; exit 1; }
  [ "$status" -eq 0 ] || { echo "firmware exit status $status"; cat "$work/err"; exit 1; }
  exit 0
fi

enter_network_namespace unshare ip dnsmasq socat -- "$@"
start_scratch
bring_up_tap 25
serve_dhcp() {
  start_dhcp_server 255.255.255.128 \
    --dhcp-option=option:router,192.0.2.1 --dhcp-option=option:dns-server,192.0.2.1 \
    --address=/peer.test/192.0.2.1 --local=/test/
}
if [ "$mode" = --late-dhcp-server ]; then dhcp_delay=40 serve_dhcp; else serve_dhcp; fi
if [ "$mode" = --link-drop ]; then
  seq 1 700000 | head -c 4194304 >"$work/sent"
  cat >"$work/echo_peer.sh" <<EOF
{ head -c 2097152 "$work/sent"
  while [ ! -e "$work/dropped" ]; do sleep 0.05; done
  tail -c +2097153 "$work/sent"; } &
cat >"$work/echoed"
wait
EOF
  socat TCP-LISTEN:7004,bind=192.0.2.1,reuseaddr EXEC:"bash $work/echo_peer.sh" 2>/dev/null &
  pids+=($!)
fi
socat TCP-LISTEN:7001,bind=192.0.2.1,fork,reuseaddr PIPE 2>/dev/null &
pids+=($!)
socat -t0.1 TCP-LISTEN:7003,bind=192.0.2.1,fork,reuseaddr SYSTEM:true 2>/dev/null &
pids+=($!)
socat UDP-RECVFROM:7002,bind=192.0.2.1,fork PIPE 2>/dev/null &
pids+=($!)
(
  for _ in $(seq 300); do
    if printf ping | socat -t2 - TCP:192.0.2.50:8080,connect-timeout=1 >/dev/null 2>&1; then break; fi
    sleep 0.1
  done
) &
pids+=($!)

TARVELO_TAP=tap0 TARVELO_GC_STRESS=1 TARVELO_HEAP_VERIFY=1 timeout 150 "$firmware" >"$work/out" 2>"$work/err" &
firmware_pid=$!
if [ "$mode" = --late-dhcp-server ]; then
  # Once the client has given up and started again, unplug and replug.
  for _ in $(seq 1500); do
    grep -q '^started again$' "$work/out" && break
    kill -0 "$firmware_pid" 2>/dev/null || break
    sleep 0.1
  done
  ip link set tap0 down
  sleep 1
  ip link set tap0 up
fi
if [ "$mode" = --link-drop ]; then
  for _ in $(seq 600); do
    grep -q '^halfway$' "$work/out" && break
    kill -0 "$firmware_pid" 2>/dev/null || break
    sleep 0.1
  done
  ip link set tap0 down
  touch "$work/dropped"
  sleep 3
  ip link set tap0 up
fi
wait "$firmware_pid"
status=$?
sed -n '/Tarvelo START/,$p' "$work/out" | tail -n +2 >"$work/console"
if ! diff -u "$expected" "$work/console"; then
  echo "--- firmware stderr:"; cat "$work/err"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "firmware exit status $status"; cat "$work/err"
  exit 1
fi
if [ "$mode" = --link-drop ]; then
  for _ in $(seq 50); do [ "$(stat -c %s "$work/echoed" 2>/dev/null)" = 4194304 ] && break; sleep 0.1; done
  cmp "$work/sent" "$work/echoed" || { echo "the echo differs from what was sent"; exit 1; }
fi
exit 0
