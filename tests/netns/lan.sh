#!/bin/sh
# A private LAN made of network namespaces: one for the program under test
# ("host"), N for fake devices ("dev1".."devN"), all joined by a bridge that
# lives in a namespace of its own ("br"). Nothing is created in the root
# namespace, so the machine's own interfaces never see this traffic.
#
#   lan.sh up N [K]      N device namespaces with K addresses each (default 1)
#   lan.sh down          remove every namespace of the LAN (safe to repeat)
#   lan.sh exec NS cmd   run cmd inside NS (host, br, devI or a full name)
#   lan.sh list          print "namespace address..." per namespace
#   lan.sh gc            remove LANs that test processes left behind (prefixes
#                        "dsl<pid>" older than 30 minutes whose process is gone)
#
# Addresses (10.213.0.0/16): host 10.213.0.1; device addresses from 10.213.1.1
# on, 250 per third octet. Exit status 77 means "cannot run here" (skip).
set -eu

PREFIX=${DEVSCAN_LAN_PREFIX:-dslan}
BR_NS="$PREFIX-br"
HOST_NS="$PREFIX-host"
NET=10.213
MAX_DEVICE_ADDRESSES=60000

skip()
{
    echo "lan.sh: $*; skipping" >&2
    exit 77
}

die()
{
    echo "lan.sh: $*" >&2
    exit 1
}

check_environment()
{
    [ "$(id -u)" = 0 ] || skip "needs root"
    command -v ip >/dev/null 2>&1 || skip "ip (iproute2) not found"
    probe="$PREFIX-probe$$"
    if ! ip netns add "$probe" 2>/dev/null; then
        skip "ip netns does not work"
    fi
    ok=1
    ip netns exec "$probe" ip link set lo up 2>/dev/null || ok=0
    ip netns del "$probe" 2>/dev/null || true
    [ "$ok" = 1 ] || skip "cannot run commands in a network namespace"
}

our_namespaces()
{
    ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^$PREFIX-(br|host|dev[0-9]+)\$" || true
}

# n-th device address (0-based)
device_address()
{
    n=$1
    echo "$NET.$((1 + n / 250)).$((1 + n % 250))"
}

cmd_down()
{
    for ns in $(our_namespaces); do
        # Stop what still runs inside, then remove the namespace (its veth ends go with it).
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill "$pid" 2>/dev/null || true
        done
        ip netns del "$ns" 2>/dev/null || true
    done
    rm -f "/run/$PREFIX.addresses"
}

# attach NS IFINDEX ADDRESS...: veth pair from the bridge namespace into NS.
attach()
{
    ns=$1
    index=$2
    shift 2
    ip netns add "$ns"
    ip -n "$ns" link set lo up
    ip -n "$BR_NS" link add "p$index" type veth peer name eth0 netns "$ns"
    ip -n "$BR_NS" link set "p$index" master br0
    ip -n "$BR_NS" link set "p$index" up
    # One ip process for all addresses of the namespace: hundreds are added per LAN.
    for a in "$@"; do
        echo "addr add $a/16 broadcast $NET.255.255 dev eth0"
    done | ip -n "$ns" -batch -
    ip -n "$ns" link set eth0 up
    # Limited broadcast (255.255.255.255) needs a route; it ends at the bridge.
    ip -n "$ns" route add default dev eth0
    echo "$ns $*" >>"/run/$PREFIX.addresses"
}

cmd_up()
{
    count=${1:-}
    per=${2:-1}
    case "$count" in '' | *[!0-9]*) die "up: N must be a number" ;; esac
    case "$per" in '' | *[!0-9]*) die "up: K must be a number" ;; esac
    [ "$count" -ge 1 ] || die "up: N must be at least 1"
    [ "$per" -ge 1 ] || die "up: K must be at least 1"
    [ $((count * per)) -le $MAX_DEVICE_ADDRESSES ] || die "up: too many addresses"

    cmd_down
    trap 'cmd_down' EXIT
    ip netns add "$BR_NS"
    ip -n "$BR_NS" link set lo up
    ip -n "$BR_NS" link add br0 type bridge
    ip -n "$BR_NS" link set br0 up
    : >"/run/$PREFIX.addresses"

    attach "$HOST_NS" 0 "$NET.0.1"
    i=1
    n=0
    while [ "$i" -le "$count" ]; do
        addresses=""
        j=0
        while [ "$j" -lt "$per" ]; do
            addresses="$addresses $(device_address "$n")"
            n=$((n + 1))
            j=$((j + 1))
        done
        # shellcheck disable=SC2086
        attach "$PREFIX-dev$i" "$i" $addresses
        i=$((i + 1))
    done
    trap - EXIT
}

resolve_ns()
{
    case "$1" in
        host | br | dev[0-9]*) echo "$PREFIX-$1" ;;
        *) echo "$1" ;;
    esac
}

cmd_exec()
{
    [ $# -ge 2 ] || die "exec: usage: exec NS cmd..."
    ns=$(resolve_ns "$1")
    shift
    our_namespaces | grep -qx "$ns" || die "exec: no namespace $ns (run up first)"
    exec ip netns exec "$ns" "$@"
}

cmd_list()
{
    [ -f "/run/$PREFIX.addresses" ] && cat "/run/$PREFIX.addresses"
    return 0
}

cmd_gc()
{
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^dsl[0-9]+-(br|host|dev[0-9]+|probe[0-9]+)$' || true); do
        pid=${ns#dsl}
        pid=${pid%%-*}
        # Only old ones: a process of another PID namespace may look gone.
        if ! kill -0 "$pid" 2>/dev/null && [ -n "$(find "/run/netns/$ns" -maxdepth 0 -mmin +30 2>/dev/null)" ]; then
            for inner in $(ip netns pids "$ns" 2>/dev/null); do
                kill "$inner" 2>/dev/null || true
            done
            ip netns del "$ns" 2>/dev/null || true
            rm -f "/run/dsl$pid.addresses"
        fi
    done
}

[ $# -ge 1 ] || die "usage: lan.sh up N [K] | down | exec NS cmd... | list | gc"
command=$1
shift
check_environment
case "$command" in
    up) cmd_up "$@" ;;
    down) cmd_down ;;
    exec) cmd_exec "$@" ;;
    list) cmd_list ;;
    gc) cmd_gc ;;
    *) die "unknown command $command" ;;
esac
