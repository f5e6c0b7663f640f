#!/usr/bin/env bash
# A home router on one machine, out of network namespaces:
#
#   NAME-home      192.168.77.2/24 on lan, default route via the router
#   NAME-router    lan 192.168.77.1/24, wan 11.22.33.1/24, ip_forward, nftables
#                  masquerade of what leaves on wan, wan-to-lan forwarding
#                  dropped except what miniupnpd opens; miniupnpd (UPnP IGD,
#                  NAT-PMP and PCP) listening on lan
#   NAME-internet  11.22.33.44/24 on wan: "anywhere else"
#
# The WAN side needs a public-looking address (miniupnpd refuses reserved
# ranges); these exist only inside the namespaces. Usage:
#
#   homerouter.sh check                      exit 77 with the reason when we cannot
#   homerouter.sh up NAME DIR [upnp] [natpmp] yes/no each (default yes yes)
#   homerouter.sh down NAME DIR
#
# DIR keeps miniupnpd's configuration, log and pid. Run a program in a
# namespace with `ip netns exec NAME-home ...`.
set -euo pipefail

LAN_ROUTER=192.168.77.1
LAN_HOME=192.168.77.2
WAN_ROUTER=11.22.33.1
WAN_INTERNET=11.22.33.44

check() {
    [ "$(id -u)" -eq 0 ] || { echo "skipped: network namespaces need root"; exit 77; }
    for tool in ip nft miniupnpd upnpc; do
        command -v "$tool" >/dev/null 2>&1 ||
            { echo "skipped: $tool is missing (scripts/install-deps installs it)"; exit 77; }
    done
    local probe="qhprobe$$"
    ip netns add "$probe" 2>/dev/null || { echo "skipped: cannot make network namespaces"; exit 77; }
    ip netns del "$probe"
}

up() {
    local name=$1 dir=$2 upnp=${3:-yes} natpmp=${4:-yes}
    local home="$name-home" router="$name-router" internet="$name-internet"
    mkdir -p "$dir"
    for ns in "$home" "$router" "$internet"; do
        ip netns add "$ns"
        ip -n "$ns" link set lo up
    done
    ip link add lan0 netns "$home" type veth peer name lan0 netns "$router"
    ip link add wan0 netns "$router" type veth peer name wan0 netns "$internet"
    ip -n "$home" addr add "$LAN_HOME/24" dev lan0
    ip -n "$router" addr add "$LAN_ROUTER/24" dev lan0
    ip -n "$router" addr add "$WAN_ROUTER/24" dev wan0
    ip -n "$internet" addr add "$WAN_INTERNET/24" dev wan0
    for link in "$home lan0" "$router lan0" "$router wan0" "$internet wan0"; do
        set -- $link
        ip -n "$1" link set "$2" up
    done
    ip -n "$home" route add default via "$LAN_ROUTER"
    # SSDP goes to a multicast group: it must leave on the LAN side.
    ip -n "$home" route add 239.0.0.0/8 dev lan0
    ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
    # miniupnpd only adds rules to chains that exist: they are made here.
    ip netns exec "$router" nft -f - <<NFT
table inet homerouter {
    chain forward {
        type filter hook forward priority 0; policy drop;
        ct state established,related accept
        iifname "lan0" accept
        jump miniupnpd
    }
    chain miniupnpd {
    }
    chain prerouting {
        type nat hook prerouting priority -100; policy accept;
        jump prerouting_miniupnpd
    }
    chain postrouting {
        type nat hook postrouting priority 100; policy accept;
        jump postrouting_miniupnpd
        oifname "wan0" masquerade
    }
    chain prerouting_miniupnpd {
    }
    chain postrouting_miniupnpd {
    }
}
NFT
    cat > "$dir/miniupnpd.conf" <<CONF
ext_ifname=wan0
listening_ip=lan0
http_port=0
enable_upnp=$upnp
enable_natpmp=$natpmp
# Off, so that the tests can map a port for a neighbour that does not exist.
secure_mode=no
system_uptime=yes
min_lifetime=2
notify_interval=60
uuid=6e1c2b3a-7d4f-4a5b-9c8d-0e1f2a3b4c5d
upnp_table_name=homerouter
upnp_nat_table_name=homerouter
upnp_forward_chain=miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
CONF
    ip netns exec "$router" miniupnpd -d -f "$dir/miniupnpd.conf" -P "$dir/miniupnpd.pid" \
        > "$dir/miniupnpd.log" 2>&1 &
    echo $! > "$dir/miniupnpd.shell"
    # Ready once it listens for NAT-PMP/PCP or serves UPnP.
    for _ in $(seq 50); do
        if grep -qE "Listening for NAT-PMP|HTTP listening" "$dir/miniupnpd.log"; then
            return 0
        fi
        sleep 0.1
    done
    echo "miniupnpd did not start:" >&2
    cat "$dir/miniupnpd.log" >&2
    return 1
}

down() {
    local name=$1 dir=$2
    if [ -f "$dir/miniupnpd.shell" ]; then
        kill "$(cat "$dir/miniupnpd.shell")" 2>/dev/null || true
    fi
    for ns in "$name-home" "$name-router" "$name-internet"; do
        # Whatever still runs inside goes with its namespace.
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill "$pid" 2>/dev/null || true
        done
        ip netns del "$ns" 2>/dev/null || true
    done
}

case "${1:-}" in
    check) check ;;
    up) shift; up "$@" ;;
    down) shift; down "$@" ;;
    *) echo "usage: $0 check | up NAME DIR [upnp yes|no] [natpmp yes|no] | down NAME DIR" >&2; exit 2 ;;
esac
