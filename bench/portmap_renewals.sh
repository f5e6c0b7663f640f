#!/usr/bin/env bash
# What keeping a port open on the router costs: quadrell-server --open-port at
# home behind the namespace router of tests/netns/homerouter.sh, with a short
# lease so that renewals come every second or two, for SECONDS each over UPnP
# and over PCP. Prints renewals, bytes to and from the router's UPnP/PCP
# ports (nftables counters in the router, IP headers included) and the
# server's CPU time, next to the same server without --open-port. As root.
#
# Usage: bench/portmap_renewals.sh [BIN_DIR] [SECONDS] [LEASE]
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
seconds=${2:-60}
lease=${3:-4}
rig=$(cd "$(dirname "$0")/../tests/netns" && pwd)/homerouter.sh
"$rig" check
name="qb$$"
dir=$(mktemp -d)
trap '"$rig" down "$name" "$dir"; rm -rf "$dir"' EXIT
export QT_QPA_PLATFORM=offscreen

cpu_ms() {  # utime + stime of a process, in ms
    awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) * 1000 / hz}' "/proc/$1/stat"
}

measure() {
    local label=$1 upnp=$2 natpmp=$3
    shift 3
    "$rig" up "$name" "$dir" "$upnp" "$natpmp"
    local router="$name-router"
    ip netns exec "$router" nft -f - <<NFT
table inet counting {
    chain input {
        type filter hook input priority 0; policy accept;
        udp dport 5351 counter
        tcp dport != 5351 iifname "lan0" counter
    }
    chain output {
        type filter hook output priority 0; policy accept;
        udp sport 5351 counter
        tcp sport != 5351 oifname "lan0" counter
    }
}
NFT
    ip netns exec "$name-home" "$bin/quadrell-server" --port 27403 --state-dir "$dir" "$@" > "$dir/out" 2>&1 &
    local pid=$!
    sleep 3  # started, and the port opened
    ip netns exec "$router" nft reset counters table inet counting > /dev/null
    local before
    before=$(cpu_ms "$pid")
    local requests_before
    requests_before=$(grep -cE "PCP request received|AddPortMapping:" "$dir/miniupnpd.log" || true)
    sleep "$seconds"
    local cpu=$(($(cpu_ms "$pid") - before))
    local requests=$(($(grep -cE "PCP request received|AddPortMapping:" "$dir/miniupnpd.log" || true) - requests_before))
    local bytes
    bytes=$(ip netns exec "$router" nft list table inet counting | grep -o 'bytes [0-9]*' | awk '{s += $2} END {print s + 0}')
    kill -TERM "$pid"
    wait "$pid" || true
    echo "$label: $requests mapping requests (TCP and UDP each count) in ${seconds} s," \
         "$bytes bytes between home and router's UPnP/PCP ports, server CPU ${cpu} ms"
    "$rig" down "$name" "$dir"
}

measure "UPnP, lease ${lease} s" yes no --open-port --port-lease "$lease"
measure "PCP, lease ${lease} s" no yes --open-port --port-lease "$lease"
measure "no port opening" yes yes
