# Sourced by the scripts that run the firmware on a network of its own: the
# network programs, the TLS program and the network benchmarks. Everything
# stays inside a new network namespace on documentation addresses
# (192.0.2.0/24); a missing tool or a machine that cannot make namespaces
# skips (exit 77).

skip() { echo "SKIP: $*"; exit 77; }

# enter_network_namespace TOOL... -- ARG...: checks the tools, then runs the
# calling script again with ARG... inside a new network namespace. Returns
# at once when already inside.
enter_network_namespace() {
  [ "${NET_NAMESPACE_INSIDE:-}" = 1 ] && return 0
  while [ "$1" != -- ]; do
    command -v "$1" >/dev/null || skip "$1 is not installed (scripts/setup installs it)"
    shift
  done
  shift
  unshare -n true 2>/dev/null || skip "network namespaces cannot be created here (needs root or user namespaces)"
  [ -c /dev/net/tun ] || skip "/dev/net/tun is missing"
  NET_NAMESPACE_INSIDE=1 exec unshare -n "$0" "$@"
}

# A scratch folder $work, removed at exit, and the list $pids of background
# peers, stopped at exit with any other background job. A peer may have
# ended already (an openssl server after its client left): stopping it then
# fails, which under `set -e` must not end the exit trap early, with the
# script's status turned into a failure and the folder left behind.
start_scratch() {
  work=$(mktemp -d)
  pids=()
  trap stop_scratch EXIT
}
stop_scratch() {
  for p in "${pids[@]}" $(jobs -p); do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

# bring_up_tap PREFIX: loopback up, and the firmware's cable, tap0, at
# 192.0.2.1/PREFIX on this side.
bring_up_tap() {
  ip link set lo up
  ip tuntap add dev tap0 mode tap || skip "a TAP interface cannot be created"
  ip addr add "192.0.2.1/$1" dev tap0
  ip link set tap0 up
}

# start_dhcp_server NETMASK [DNSMASQ OPTION...]: dnsmasq on tap0 leasing the
# firmware its one address, 192.0.2.50, in the background (its pid in $pids),
# after $dhcp_delay seconds when that is set. The pid is the server's own
# from the start, so stopping it never leaves a server behind.
start_dhcp_server() {
  local netmask=$1
  shift
  (
    if [ -n "${dhcp_delay:-}" ]; then
      trap 'kill $! 2>/dev/null; exit' TERM
      sleep "$dhcp_delay" &
      wait $!
    fi
    exec dnsmasq --keep-in-foreground --conf-file=/dev/null --user=root --no-resolv --no-hosts \
      --bind-interfaces --interface=tap0 --except-interface=lo --listen-address=192.0.2.1 \
      --dhcp-range="192.0.2.50,192.0.2.50,$netmask,1h" "$@" \
      --dhcp-leasefile="$work/leases" --pid-file="$work/dnsmasq.pid" 2>"$work/dnsmasq.log"
  ) &
  pids+=($!)
}
