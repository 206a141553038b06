# Private network namespaces with test hosts, for tests that send real ICMP.
# Source this file from bash; netns_run.sh is the command-line front end.
#
# Functions:
#   netns_require                 exit 77 unless root with working `ip netns`
#   netns_new                     make a fresh namespace with lo up, named in NETNS_LAST.
#                                 Every namespace made is removed by netns_cleanup.
#   netns_add_host NS KIND ADDR   give NS a test host for ADDR. KIND is
#       answer    a second namespace joined by a veth pair holds ADDR and answers echo
#       ignore    the same, with net.ipv4.icmp_echo_ignore_all=1 there
#       vanish    the link is up but ADDR is routed via a neighbour nobody holds, so
#                 address resolution fails (fast: 3 tries 100 ms apart) and the kernel
#                 reports the host unreachable
#       no-route  nothing is added; checks that ADDR has no route (network unreachable)
#       routed    an answering host for ADDR two hops away, behind a router namespace
#                 (its replies arrive with TTL 63; a request with TTL 1 expires there)
#       router-no-route  ADDR is routed to a router that has no route for it, so the
#                 router answers with ICMP network unreachable
#     The host namespace's name is left in NETNS_HOST_LAST (empty for no-route; the
#     router for router-no-route), the router's in NETNS_ROUTER_LAST (empty without one).
# Call these in the script's own shell, not in $(...), so that cleanup knows them.
#   netns_host_echo HOSTNS answer|ignore   switch a host's echo replies on or off
#   netns_ping_group NS on|off    let every group open unprivileged ICMP datagram
#                                 sockets in NS (off: nobody, so root falls back to raw)
#   netns_refuse_default_route NS exit 3 if NS has a default route (IPv4 or IPv6)
#   netns_cleanup                 kill what still runs inside our namespaces, remove them
#   netns_sweep_stale             remove namespaces left by runs that were killed
#
# Addresses: host number i uses the link 10.77.i.0/24 (probe side .1, host or router side
# .2, the unanswered neighbour of a vanishing host .3), and a router's second link
# 10.77.(100+i).0/24 (router .1, host .2). Keep test addresses out of 10.77/16.

NETNS_MADE=()
NETNS_HOST_COUNT=0

netns_require() {
  if [ "$(id -u)" != 0 ]; then
    echo "netns: needs root to make network namespaces; skipping" >&2
    exit 77
  fi
  if ! command -v ip >/dev/null 2>&1; then
    echo "netns: iproute2 (ip) is missing; skipping" >&2
    exit 77
  fi
  local probe="ostr-check-$$-$RANDOM"
  if ! ip netns add "$probe" 2>/dev/null; then
    echo "netns: network namespaces are not available here; skipping" >&2
    exit 77
  fi
  ip netns del "$probe"
  netns_sweep_stale
}

# Removes namespaces that an earlier run of these tools left behind when it was killed
# before its cleanup ran: their names carry the pid of the shell that made them.
# A run counts as gone only when its shell has ended and nothing runs in any of its
# namespaces (a run seen from another pid namespace still has its command inside).
netns_sweep_stale() {
  local all ns owner member busy
  all="$(ip netns list 2>/dev/null | awk '{ print $1 }')"
  for owner in $(printf '%s\n' $all | sed -n 's/^ostr-\([0-9][0-9]*\)-.*/\1/p' | sort -u); do
    [ -d "/proc/$owner" ] && continue
    busy=0
    for member in $(printf '%s\n' $all | grep "^ostr-$owner-"); do
      [ -n "$(ip netns pids "$member" 2>/dev/null)" ] && busy=1
    done
    [ "$busy" = 0 ] || continue
    for member in $(printf '%s\n' $all | grep "^ostr-$owner-"); do
      ip netns del "$member" 2>/dev/null
    done
  done
}

netns_new() {
  local name="ostr-$$-$RANDOM-${#NETNS_MADE[@]}"
  ip netns add "$name" || return 1
  NETNS_MADE+=("$name")
  ip -n "$name" link set lo up || return 1
  NETNS_LAST="$name"
}

netns_refuse_default_route() {
  local ns="$1"
  if [ -n "$(ip -n "$ns" -4 route show default 2>/dev/null)" ] ||
     [ -n "$(ip -n "$ns" -6 route show default 2>/dev/null)" ]; then
    echo "netns: namespace $ns has a default route; refusing to start" >&2
    exit 3
  fi
}

netns_ping_group() {
  local ns="$1" range="1 0"
  [ "$2" = on ] && range="0 2147483647"
  ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="$range"
}

netns_host_echo() {
  local host="$1" ignore=0
  [ "$2" = ignore ] && ignore=1
  ip netns exec "$host" sysctl -qw net.ipv4.icmp_echo_ignore_all="$ignore"
}

netns_add_host() {
  local ns="$1" kind="$2" addr="$3"
  NETNS_HOST_LAST=""
  NETNS_ROUTER_LAST=""
  case "$kind" in
    no-route)
      if ip -n "$ns" -4 route get "$addr" >/dev/null 2>&1; then
        echo "netns: $addr has a route in $ns" >&2
        return 1
      fi
      return 0 ;;
    answer|ignore|vanish|routed|router-no-route) ;;
    *) echo "netns: unknown host kind '$kind'" >&2; return 1 ;;
  esac
  NETNS_HOST_COUNT=$((NETNS_HOST_COUNT + 1))
  local i=$NETNS_HOST_COUNT
  if [ "$i" -gt 99 ]; then echo "netns: too many hosts" >&2; return 1; fi
  local host="ostr-$$-$RANDOM-h$i"
  ip netns add "$host" || return 1
  NETNS_MADE+=("$host")
  ip -n "$host" link set lo up
  ip link add "vp$i" netns "$ns" type veth peer name "vh$i" netns "$host" || return 1
  ip -n "$ns" addr add "10.77.$i.1/24" dev "vp$i"
  ip -n "$host" addr add "10.77.$i.2/24" dev "vh$i"
  ip -n "$ns" link set "vp$i" up
  ip -n "$host" link set "vh$i" up
  if [ "$kind" = routed ] || [ "$kind" = router-no-route ]; then
    # The namespace behind vh$i is a router; the host, if any, sits on its second link.
    local router="$host"
    NETNS_ROUTER_LAST="$router"
    ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
    ip -n "$ns" route add "$addr/32" via "10.77.$i.2" dev "vp$i" || return 1
    if [ "$kind" = routed ]; then
      host="ostr-$$-$RANDOM-h${i}b"
      ip netns add "$host" || return 1
      NETNS_MADE+=("$host")
      ip -n "$host" link set lo up
      ip link add "vr$i" netns "$router" type veth peer name "vh$i" netns "$host" || return 1
      ip -n "$router" addr add "10.77.$((100 + i)).1/24" dev "vr$i"
      ip -n "$host" addr add "10.77.$((100 + i)).2/24" dev "vh$i"
      ip -n "$host" addr add "$addr/32" dev "vh$i"
      ip -n "$router" link set "vr$i" up
      ip -n "$host" link set "vh$i" up
      ip -n "$router" route add "$addr/32" via "10.77.$((100 + i)).2" dev "vr$i" || return 1
      ip -n "$host" route add "10.77.$i.0/24" via "10.77.$((100 + i)).1" dev "vh$i" || return 1
    fi
  elif [ "$kind" = vanish ]; then
    ip netns exec "$ns" sysctl -qw "net.ipv4.neigh.vp$i.mcast_solicit=3" \
      "net.ipv4.neigh.vp$i.retrans_time_ms=100"
    ip -n "$ns" route add "$addr/32" via "10.77.$i.3" dev "vp$i" || return 1
  else
    ip -n "$host" addr add "$addr/32" dev "vh$i" || return 1
    ip -n "$ns" route add "$addr/32" via "10.77.$i.2" dev "vp$i" || return 1
    netns_host_echo "$host" "$kind"
  fi
  NETNS_HOST_LAST="$host"
}

netns_cleanup() {
  local ns pid
  for ns in "${NETNS_MADE[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do
      kill "$pid" 2>/dev/null
    done
  done
  for ns in "${NETNS_MADE[@]}"; do
    ip netns del "$ns" 2>/dev/null
  done
  NETNS_MADE=()
}
