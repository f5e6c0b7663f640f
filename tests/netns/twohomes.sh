#!/usr/bin/env bash
# Two homes behind NATs and the internet between them, out of network
# namespaces on one machine:
#
#   NAME-inet  the internet: routes between the two routers (ip_forward).
#              lo 11.22.33.44/32 (master server, coturn) and 11.22.33.45/32
#              (a second destination); wa0 11.22.10.1/24 towards home A,
#              wb0 11.22.20.1/24 towards home B
#   NAME-ra    router A: lan0 192.168.1.1/24, wan0 11.22.10.2/24 (home A's
#              public address); nftables masquerade of what leaves on wan0,
#              new inbound on wan0 dropped (forwarded or to the router itself)
#   NAME-ha    home A: lan0 192.168.1.2/24, default route via router A
#   NAME-rb    router B: lan0 192.168.2.1/24, wan0 11.22.20.2/24, as router A
#   NAME-hb    home B: lan0 192.168.2.2/24, default route via router B
#
# Variants:
#   cone       plain masquerade: the source port is kept where it can be, the
#              mapping is the same towards every destination
#   symmetric  masquerade random: another external port per flow
#   cgnat      router A's wan0 is 100.64.10.2/24 behind NAME-ca, a carrier
#              (lan0 100.64.10.1/24, wan0 11.22.10.2/24 towards the internet)
#              that masquerades again and drops new inbound. Router A runs
#              miniupnpd, told (ext_ip) that its public address is the
#              carrier's 11.22.10.2, so it maps ports that open nothing.
#              Home B cone.
#   mapping    router A runs miniupnpd on its public wan0: a mapping works.
#              Home B cone.
#   ipv6       cone, and routed IPv6 without NAT: inet lo 2001:db8:33::44/128,
#              wa0 2001:db8:a::1/64, router A wan0 2001:db8:a::2/64, lan0
#              2001:db8:a1::1/64, home A 2001:db8:a1::2/64; B the same with
#              2001:db8:b::/64 and 2001:db8:b1::/64. The routers forward
#              established/related and what the home sends, new inbound dropped.
#
# These public-looking addresses exist only inside the namespaces (miniupnpd
# refuses reserved ranges). Usage:
#
#   twohomes.sh check                    exit 77 with the reason when we cannot
#   twohomes.sh up NAME DIR VARIANT
#   twohomes.sh turn NAME DIR SECRETFILE coturn on 11.22.33.44:3478 (and
#                                        [2001:db8:33::44] in ipv6), REST-style
#                                        credentials from the secret, realm
#                                        quadrell.test, relay ports 49152-49407
#   twohomes.sh down NAME DIR            everything still running inside goes too
#
# DIR keeps the daemons' configuration, logs and pids. Run a program in a
# namespace with `ip netns exec NAME-ha ...`.
set -euo pipefail

SERVER=11.22.33.44
SERVER2=11.22.33.45
SERVER6=2001:db8:33::44
TURN_REALM=quadrell.test

check() {
    [ "$(id -u)" -eq 0 ] || { echo "skipped: network namespaces need root"; exit 77; }
    for tool in ip nft miniupnpd upnpc socat turnserver turnutils_uclient openssl; do
        command -v "$tool" >/dev/null 2>&1 ||
            { echo "skipped: $tool is missing (scripts/install-deps installs it)"; exit 77; }
    done
    local probe="qtprobe$$"
    ip netns add "$probe" 2>/dev/null || { echo "skipped: cannot make network namespaces"; exit 77; }
    ip netns del "$probe"
}

# link NS1 IF1 ADDR1 NS2 IF2 ADDR2: a veth pair, addressed and up.
link() {
    ip link add "$2" netns "$1" type veth peer name "$5" netns "$4"
    ip -n "$1" addr add "$3" dev "$2"
    ip -n "$4" addr add "$6" dev "$5"
    ip -n "$1" link set "$2" up
    ip -n "$4" link set "$5" up
}

# addr6 NS IF ADDR: without duplicate address detection, usable at once.
addr6() { ip -n "$1" addr add "$3" dev "$2" nodad; }

# nat NS MASQUERADE_OPTIONS UPNP: the filter and NAT of a router or carrier;
# lan0 inside, wan0 outside. Only IPv4 is translated.
nat() {
    local ns=$1 options=$2 upnp=$3 jump_forward="" jump_pre="" jump_post=""
    if [ "$upnp" = yes ]; then
        # miniupnpd only adds rules to chains that exist.
        jump_forward="jump miniupnpd"
        jump_pre="jump prerouting_miniupnpd"
        jump_post="jump postrouting_miniupnpd"
    fi
    ip netns exec "$ns" sysctl -qw net.ipv4.ip_forward=1
    ip netns exec "$ns" nft -f - <<NFT
table inet twohomes {
    chain input {
        type filter hook input priority 0; policy accept;
        iifname "wan0" ct state established,related accept
        iifname "wan0" icmpv6 type { nd-neighbor-solicit, nd-neighbor-advert } accept
        # Dropped before connection tracking confirms the flow: an early
        # punching datagram leaves no entry that would steal the port.
        iifname "wan0" drop
    }
    chain forward {
        type filter hook forward priority 0; policy drop;
        ct state established,related accept
        iifname "lan0" oifname "wan0" accept
        $jump_forward
    }
    chain miniupnpd {
    }
    chain prerouting {
        type nat hook prerouting priority -100; policy accept;
        $jump_pre
    }
    chain postrouting {
        type nat hook postrouting priority 100; policy accept;
        $jump_post
        oifname "wan0" meta nfproto ipv4 masquerade $options
    }
    chain prerouting_miniupnpd {
    }
    chain postrouting_miniupnpd {
    }
}
NFT
}

# home NS ROUTER LAN_PREFIX: home .2 behind router .1 of LAN_PREFIX.0/24.
home() {
    local ns=$1 router=$2 prefix=$3
    link "$ns" lan0 "$prefix.2/24" "$router" lan0 "$prefix.1/24"
    ip -n "$ns" route add default via "$prefix.1"
    # SSDP goes to a multicast group: it must leave on the LAN side.
    ip -n "$ns" route add 239.0.0.0/8 dev lan0
}

# miniupnpd_start NS DIR [EXT_IP]: serving home A's LAN.
miniupnpd_start() {
    local ns=$1 dir=$2 ext_ip=${3:-}
    {
        echo "ext_ifname=wan0"
        [ -z "$ext_ip" ] || echo "ext_ip=$ext_ip"
        cat <<CONF
listening_ip=lan0
http_port=0
enable_upnp=yes
enable_natpmp=yes
secure_mode=no
system_uptime=yes
min_lifetime=2
notify_interval=60
uuid=0f3a6c2e-5b1d-4e7a-8c9b-1d2e3f4a5b6c
upnp_table_name=twohomes
upnp_nat_table_name=twohomes
upnp_forward_chain=miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
allow 1024-65535 192.168.1.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
CONF
    } > "$dir/miniupnpd.conf"
    ip netns exec "$ns" miniupnpd -d -f "$dir/miniupnpd.conf" -P "$dir/miniupnpd.pid" \
        > "$dir/miniupnpd.log" 2>&1 &
    echo $! > "$dir/miniupnpd.shell"
    for _ in $(seq 50); do
        grep -qE "Listening for NAT-PMP|HTTP listening" "$dir/miniupnpd.log" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "miniupnpd did not start:" >&2
    cat "$dir/miniupnpd.log" >&2
    return 1
}

up() {
    local name=$1 dir=$2 variant=$3
    local inet="$name-inet" ra="$name-ra" ha="$name-ha" rb="$name-rb" hb="$name-hb"
    local ca="$name-ca" masq_a="" masq_b="" upnp_a=no
    case "$variant" in
        cone | ipv6) ;;
        symmetric) masq_a=random masq_b=random ;;
        cgnat | mapping) upnp_a=yes ;;
        *) echo "unknown variant $variant" >&2; return 2 ;;
    esac
    mkdir -p "$dir"
    local all=("$inet" "$ra" "$ha" "$rb" "$hb")
    [ "$variant" != cgnat ] || all+=("$ca")
    for ns in "${all[@]}"; do
        ip netns add "$ns"
        ip -n "$ns" link set lo up
    done
    echo "$variant" > "$dir/variant"

    ip -n "$inet" addr add "$SERVER/32" dev lo
    ip -n "$inet" addr add "$SERVER2/32" dev lo
    ip netns exec "$inet" sysctl -qw net.ipv4.ip_forward=1
    if [ "$variant" = cgnat ]; then
        link "$inet" wa0 11.22.10.1/24 "$ca" wan0 11.22.10.2/24
        link "$ca" lan0 100.64.10.1/24 "$ra" wan0 100.64.10.2/24
        ip -n "$ca" route add default via 11.22.10.1
        ip -n "$ra" route add default via 100.64.10.1
        nat "$ca" "" no
    else
        link "$inet" wa0 11.22.10.1/24 "$ra" wan0 11.22.10.2/24
        ip -n "$ra" route add default via 11.22.10.1
    fi
    link "$inet" wb0 11.22.20.1/24 "$rb" wan0 11.22.20.2/24
    ip -n "$rb" route add default via 11.22.20.1
    home "$ha" "$ra" 192.168.1
    home "$hb" "$rb" 192.168.2
    nat "$ra" "$masq_a" "$upnp_a"
    nat "$rb" "$masq_b" no

    if [ "$variant" = ipv6 ]; then
        addr6 "$inet" lo "$SERVER6/128"
        for side in a b; do
            local r="$name-r$side" h="$name-h$side"
            addr6 "$inet" "w${side}0" "2001:db8:$side::1/64"
            addr6 "$r" wan0 "2001:db8:$side::2/64"
            addr6 "$r" lan0 "2001:db8:${side}1::1/64"
            addr6 "$h" lan0 "2001:db8:${side}1::2/64"
            ip -n "$inet" -6 route add "2001:db8:${side}1::/64" via "2001:db8:$side::2"
            ip -n "$r" -6 route add default via "2001:db8:$side::1"
            ip -n "$h" -6 route add default via "2001:db8:${side}1::1"
            ip netns exec "$r" sysctl -qw net.ipv6.conf.all.forwarding=1
        done
        ip netns exec "$inet" sysctl -qw net.ipv6.conf.all.forwarding=1
    fi

    case "$variant" in
        cgnat) miniupnpd_start "$ra" "$dir" 11.22.10.2 ;;
        mapping) miniupnpd_start "$ra" "$dir" ;;
    esac
    if [ "$variant" = ipv6 ]; then
        # The routers forward by their link-local addresses, which stay
        # tentative (unusable) for a second or two while the kernel checks them.
        local ns tentative
        for _ in $(seq 100); do
            tentative=no
            for ns in "$inet" "$ra" "$ha" "$rb" "$hb"; do
                [ -z "$(ip -n "$ns" -6 addr show tentative)" ] || tentative=yes
            done
            [ "$tentative" = yes ] || return 0
            sleep 0.05
        done
        echo "IPv6 addresses still tentative" >&2
        return 1
    fi
}

# Ready once it listens on UDP and TCP.
turn() {
    local name=$1 dir=$2 secretfile=$3 secret v6=no
    local inet="$name-inet"
    secret=$(tr -d '\n' < "$secretfile")
    [ -n "$secret" ] || { echo "the secret in $secretfile is empty" >&2; return 1; }
    [[ "$(ip -n "$inet" -6 addr show dev lo)" != *"$SERVER6/"* ]] || v6=yes
    # The secret stays out of the command line (and ps).
    (
        umask 077
        cat > "$dir/turnserver.conf" <<CONF
listening-ip=$SERVER
relay-ip=$SERVER
listening-port=3478
min-port=49152
max-port=49407
realm=$TURN_REALM
use-auth-secret
static-auth-secret=$secret
fingerprint
no-tls
no-dtls
no-cli
no-multicast-peers
userdb=$dir/turndb
log-file=$dir/turnserver.log
simple-log
pidfile=$dir/turnserver.pid
CONF
        if [ "$v6" = yes ]; then
            printf 'listening-ip=%s\nrelay-ip=%s\n' "$SERVER6" "$SERVER6" >> "$dir/turnserver.conf"
        fi
    )
    ip netns exec "$inet" turnserver -c "$dir/turnserver.conf" > "$dir/turnserver.out" 2>&1 &
    echo $! > "$dir/turnserver.shell"
    local want=("$SERVER:3478")
    [ "$v6" = no ] || want+=("[$SERVER6]:3478")
    for _ in $(seq 100); do
        local udp tcp ready=yes
        udp=$(ip netns exec "$inet" ss -Hlnu "sport = :3478")
        tcp=$(ip netns exec "$inet" ss -Hlnt "sport = :3478")
        for address in "${want[@]}"; do
            grep -qF "$address" <<< "$udp" && grep -qF "$address" <<< "$tcp" || ready=no
        done
        [ "$ready" = no ] || return 0
        sleep 0.05
    done
    echo "turnserver did not start:" >&2
    cat "$dir/turnserver.out" "$dir/turnserver.log" >&2 2>/dev/null || true
    return 1
}

down() {
    local name=$1 dir=$2
    for daemon in miniupnpd turnserver; do
        if [ -f "$dir/$daemon.shell" ]; then
            kill "$(cat "$dir/$daemon.shell")" 2>/dev/null || true
        fi
    done
    local pids=()
    for ns in "$name-ha" "$name-hb" "$name-ra" "$name-rb" "$name-ca" "$name-inet"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill "$pid" 2>/dev/null || true
            pids+=("$pid")
        done
        ip netns del "$ns" 2>/dev/null || true
    done
    # A namespace lives on while something runs in it: wait for them to end.
    for pid in "${pids[@]}"; do
        for _ in $(seq 40); do
            running "$pid" || break
            sleep 0.05
        done
    done
}

# Whether PID runs (an exited process whose parent has not reaped it does not).
running() {
    local state
    state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

case "${1:-}" in
    check) check ;;
    up) shift; up "$@" ;;
    turn) shift; turn "$@" ;;
    down) shift; down "$@" ;;
    *)
        echo "usage: $0 check | up NAME DIR cone|symmetric|cgnat|mapping|ipv6" \
            "| turn NAME DIR SECRETFILE | down NAME DIR" >&2
        exit 2
        ;;
esac
