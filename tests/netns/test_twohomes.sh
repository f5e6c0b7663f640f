#!/usr/bin/env bash
# The two-homes rig of twohomes.sh is what it claims, with real traffic:
#
#   all but turn  home A sends out over UDP and TCP and is seen at its
#               public address; a listener at home A gets what its router
#               sends on the LAN but no new datagram or connection from the
#               internet (to the public address or routed to the LAN address)
#               or home B
#   cone        one local port is seen at the same external port (the local
#               one) by two destinations; the two homes punch a hole to each
#               other from the ports a server saw
#   symmetric   two destinations see two ports; the same punching fails
#   cgnat       router A's WAN address is in 100.64.0.0/10; upnpc maps a port
#               on it, which the carrier can reach and the internet cannot
#   mapping     upnpc maps a port that the internet and home B reach
#   ipv6        as cone, and home A reaches the internet over IPv6 from its own
#               address; new inbound IPv6 from the internet or home B dropped
#   turn        coturn on the cone rig: REST-style credentials from the secret
#               get a UDP and a TCP (RFC 6062) allocation that relay; another
#               secret's password or a past expiry are refused
#
# Afterwards no namespace and no process of the rig is left, also after a
# failure. Usage: test_twohomes.sh CASE. Prints "figure:" lines. Exit 77:
# skipped (not root, tools missing).
set -euo pipefail

case_name=$1
here=$(cd "$(dirname "$0")" && pwd)
rig=$here/twohomes.sh
"$rig" check

name="qt$$"
dir=$(mktemp -d)
inet="$name-inet" ra="$name-ra" ha="$name-ha" rb="$name-rb" hb="$name-hb" ca="$name-ca"
server=11.22.33.44 server2=11.22.33.45 server6=2001:db8:33::44
public_a=11.22.10.2 public_b=11.22.20.2 lan_a=192.168.1.2 lan6_a=2001:db8:a1::2
lan6_a_logged="[2001:0db8:00a1:0000:0000:0000:0000:0002]"  # as socat writes it

# Takes the rig down; fails when a namespace or a process of it outlives that.
finished=no
finish() {
    [ "$finished" = no ] || return 0
    finished=yes
    local pids=() left
    for ns in "$ha" "$hb" "$ra" "$rb" "$ca" "$inet"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null || true); do pids+=("$pid"); done
    done
    "$rig" down "$name" "$dir"
    left=$(ip netns list | grep -o "^$name-[a-z]*" || true)
    [ -z "$left" ] || { echo "FAIL: namespaces left after down: $left"; return 1; }
    for pid in "${pids[@]}"; do
        local state
        state=$(awk '/^State:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
        [ -z "$state" ] || [ "$state" = Z ] || { echo "FAIL: process $pid outlived down"; return 1; }
    done
}

cleanup() {
    local status=$?
    finish || status=1
    rm -rf "$dir"
    exit "$status"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$dir"/*.log "$dir"/*.seen "$dir"/*.out; do
        [ -f "$f" ] && { echo "== $f"; tail -n 20 "$f"; }
    done
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Each listener logs "ADDRESS PORT FIRST-LINE" per datagram or connection.
cat > "$dir/seen.sh" <<'SH'
#!/bin/sh
read -r line
echo "$SOCAT_PEERADDR $SOCAT_PEERPORT $line" >> "$1"
SH
chmod +x "$dir/seen.sh"

# listen NS udp4|udp6|tcp4|tcp6 PORT BIND TAG: a logging listener in the
# background, ready on return. BIND may be empty (any address).
listen() {
    local ns=$1 proto=$2 port=$3 bind=$4 tag=$5 address options=fork
    case "$proto" in
        udp4) address=UDP4-RECVFROM ;;
        udp6) address=UDP6-RECVFROM options="$options,ipv6only=1" ;;
        tcp4) address=TCP4-LISTEN options="$options,reuseaddr" ;;
        tcp6) address=TCP6-LISTEN options="$options,reuseaddr,ipv6only=1" ;;
    esac
    [ -z "$bind" ] || options="$options,bind=$bind"
    : > "$dir/$tag.seen"
    ip netns exec "$ns" socat -u "$address:$port,$options" EXEC:"$dir/seen.sh $dir/$tag.seen" \
        2>> "$dir/socat.log" &
    await_port "$ns" "$proto" "$port" "$bind"
}

# await_port NS PROTO PORT BIND: until something listens there.
await_port() {
    local flags=-Hlnu${2: -1}
    [[ "$2" != tcp* ]] || flags=-Hlnt${2: -1}
    for _ in $(seq 100); do
        [[ "$(ip netns exec "$1" ss "$flags" "sport = :$3")" != *"${4:-}:$3 "* ]] || return 0
        sleep 0.02
    done
    fail "no $2 listener on $3 in $1"
}

# send NS HOST PORT TEXT [SOURCEPORT]: one datagram; HOST of IPv6 in brackets.
send() {
    local ns=$1 host=$2 port=$3 text=$4 source=${5:-}
    echo "$text" | ip netns exec "$ns" socat -u - "UDP:$host:$port${source:+,sourceport=$source}" \
        2>> "$dir/socat.log"
}

# connect NS HOST PORT TEXT: whether a TCP connection is made (in a second).
connect() {
    echo "$4" | ip netns exec "$1" timeout 3 socat -u - "TCP:$2:$3,connect-timeout=1" 2> /dev/null
}

# seen TAG TEXT: the first "ADDRESS PORT" logged for TEXT, after up to a second.
seen() {
    for _ in $(seq 50); do
        awk -v text="$2" '$3 == text { print $1, $2; found = 1; exit } END { exit !found }' \
            "$dir/$1.seen" && return 0
        sleep 0.02
    done
    return 1
}

# Blocked probes run at once (a dropped connection attempt takes its timeout).
probes=()
expect_refused() {
    { if connect "$@"; then echo "$*" >> "$dir/opened"; fi; } &
    probes+=($!)
}
await_refused() {
    wait "${probes[@]}"
    probes=()
    sleep 0.2  # for datagrams still in flight
    [ ! -s "$dir/opened" ] || fail "connections made that should not be: $(cat "$dir/opened")"
}

# Outbound works and shows the public address; nothing new gets in.
common() {
    listen "$inet" udp4 4000 "$server" out
    listen "$inet" tcp4 4001 "$server" outtcp
    listen "$ha" udp4 6000 "" a
    listen "$ha" tcp4 6001 "" atcp

    send "$ha" "$server" 4000 out-udp
    local from
    from=$(seen out out-udp) || fail "home A's datagram did not reach the internet"
    [ "${from% *}" = "$public_a" ] || fail "home A's datagram came from $from"
    connect "$ha" "$server" 4001 out-tcp || fail "home A could not connect out"
    from=$(seen outtcp out-tcp) || fail "home A's connection was not logged"
    [ "${from% *}" = "$public_a" ] || fail "home A's connection came from $from"

    # The listeners work: the router reaches them from the LAN side.
    send "$ra" "$lan_a" 6000 lan-udp
    seen a lan-udp > /dev/null || fail "the router's datagram did not reach home A"
    connect "$ra" "$lan_a" 6001 lan-tcp || fail "the router could not connect to home A"

    # Someone on the WAN side sends to the LAN address through the router.
    ip -n "$inet" route add 192.168.1.0/24 via "$public_a"
    for target in "$public_a" "$lan_a"; do
        send "$inet" "$target" 6000 "inet-$target"
        expect_refused "$inet" "$target" 6001 "inet-tcp-$target"
    done
    ip -n "$inet" route del 192.168.1.0/24
    send "$hb" "$public_a" 6000 from-b
    expect_refused "$hb" "$public_a" 6001 from-b-tcp
    await_refused
    grep -v " lan-udp$" "$dir/a.seen" && fail "new datagrams reached home A"
    grep -v " lan-tcp$" "$dir/atcp.seen" && fail "new connections reached home A"
    return 0
}

# Each home sends from one local port (A 5000, B 5100) to two destinations:
# the ports they saw, a1 a2 b1 b2.
ports() {
    listen "$inet" udp4 4000 "$server2" out2
    local home port
    for home in a b; do
        [ "$home" = a ] && port=5000 || port=5100
        send "$name-h$home" "$server" 4000 "port-probe-$home" "$port"
        send "$name-h$home" "$server2" 4000 "port-probe-$home" "$port"
        declare -g "${home}1=$(seen out "port-probe-$home" | cut -d' ' -f2)"
        declare -g "${home}2=$(seen out2 "port-probe-$home" | cut -d' ' -f2)"
    done
    [ -n "$a1" ] && [ -n "$a2" ] && [ -n "$b1" ] && [ -n "$b2" ] ||
        fail "a destination saw nothing: '$a1' '$a2' '$b1' '$b2'"
    echo "figure: $case_name: local ports seen by $server and $server2: home A 5000 at $a1 and $a2," \
        "home B 5100 at $b1 and $b2"
}

# With the external ports the server saw, both homes send to each other's at
# once from the same local ports, ten datagrams each in a second (a slow start
# of one side still overlaps).
punch() {
    local burst='for i in $(seq 10); do echo "$0"; sleep 0.1; done'
    sh -c "$burst" a-punch |
        ip netns exec "$ha" socat -t 0.5 - "UDP:$public_b:$b1,sourceport=5000" \
            > "$dir/punch-a.out" 2>> "$dir/socat.log" &
    local a=$!
    sh -c "$burst" b-punch |
        ip netns exec "$hb" socat -t 0.5 - "UDP:$public_a:$a1,sourceport=5100" \
            > "$dir/punch-b.out" 2>> "$dir/socat.log" || true
    wait "$a" || true
    punched_a=$(grep -c b-punch "$dir/punch-a.out" || true)
    punched_b=$(grep -c a-punch "$dir/punch-b.out" || true)
    echo "figure: $case_name: punching: home A got $punched_a of 10, home B $punched_b of 10"
}

# The median of twenty UDP round trips from home A to an echo in the internet.
rtt() {
    command -v python3 > /dev/null || return 0
    ip netns exec "$inet" socat UDP4-LISTEN:4002,bind="$server" PIPE 2>> "$dir/socat.log" &
    await_port "$inet" udp4 4002 "$server"
    local us
    us=$(ip netns exec "$ha" python3 - "$server" <<'PY'
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(1)
s.connect((sys.argv[1], 4002))
times = []
for _ in range(20):
    start = time.perf_counter_ns()
    s.send(b"x")
    s.recv(16)
    times.append(time.perf_counter_ns() - start)
print(sorted(times)[10] // 1000)
PY
    ) || fail "no UDP echo from the internet"
    echo "figure: $case_name: UDP round trip home A to the internet, median of 20: $us us"
}

# map PROTO PORT: upnpc at home A asks router A for PORT to itself (at the
# description's address: discovery would wait two seconds).
map() {
    local http
    http=$(sed -n 's/.*HTTP listening on port \([0-9]*\).*/\1/p' "$dir/miniupnpd.log" 2> /dev/null || true)
    [ -n "$http" ] || fail "router A serves no UPnP"
    ip netns exec "$ha" upnpc -u "http://192.168.1.1:$http/rootDesc.xml" -a "$lan_a" "$2" "$2" "$1" > "$dir/upnpc-$1.out" 2>&1 ||
        fail "upnpc could not map $1 $2"
    # Read whole: grep -q ending early would fail a pipe under pipefail.
    local rules
    rules=$(ip netns exec "$ra" nft list chain inet twohomes prerouting_miniupnpd)
    grep -q "dnat ip to $lan_a:$2" <<< "$rules" || fail "no $1 $2 mapping in router A"
}

started=$(now_ms)
variant=$case_name
[ "$case_name" != turn ] || variant=cone
"$rig" up "$name" "$dir" "$variant"
echo "figure: $case_name: rig up in $(($(now_ms) - started)) ms"

case "$case_name" in
cone | ipv6)
    common
    ports
    [ "$a1 $a2 $b1 $b2" = "5000 5000 5100 5100" ] || fail "the local ports were not kept"
    punch
    [ "$case_name" = ipv6 ] || rtt
    [ "$punched_a" -gt 0 ] && [ "$punched_b" -gt 0 ] || fail "the homes could not punch a hole"
    if [ "$case_name" = ipv6 ]; then
        listen "$inet" udp6 4000 "[$server6]" out6
        listen "$inet" tcp6 4001 "[$server6]" outtcp6
        listen "$ha" udp6 6000 "" a6
        listen "$ha" tcp6 6001 "" atcp6
        send "$ha" "[$server6]" 4000 out-udp6
        from=$(seen out6 out-udp6) || fail "home A's IPv6 datagram did not reach the internet"
        [ "${from% *}" = "$lan6_a_logged" ] || fail "home A's IPv6 datagram came from $from"
        connect "$ha" "[$server6]" 4001 out-tcp6 || fail "home A could not connect out over IPv6"
        send "$ra" "[$lan6_a]" 6000 lan-udp6
        seen a6 lan-udp6 > /dev/null || fail "the router's IPv6 datagram did not reach home A"
        connect "$ra" "[$lan6_a]" 6001 lan-tcp6 || fail "the router could not connect to home A over IPv6"
        for ns in "$inet" "$hb"; do
            send "$ns" "[$lan6_a]" 6000 "new-$ns"
            expect_refused "$ns" "[$lan6_a]" 6001 "new-tcp-$ns"
        done
        await_refused
        grep -v " lan-udp6$" "$dir/a6.seen" && fail "new IPv6 datagrams reached home A"
        grep -v " lan-tcp6$" "$dir/atcp6.seen" && fail "new IPv6 connections reached home A"
    fi
    ;;
symmetric)
    common
    ports
    [ "$a1" != "$a2" ] && [ "$b1" != "$b2" ] || fail "a home was seen at one port by both"
    punch
    [ "$punched_a" -eq 0 ] && [ "$punched_b" -eq 0 ] || fail "punching worked through symmetric NATs"
    ;;
cgnat)
    wan=$(ip -n "$ra" -4 -o addr show dev wan0 | awk '{ print $4 }')
    [[ "$wan" =~ ^100\.([0-9]+)\. ]] && [ "${BASH_REMATCH[1]}" -ge 64 ] &&
        [ "${BASH_REMATCH[1]}" -le 127 ] || fail "router A's WAN address $wan is not in 100.64.0.0/10"
    common
    map TCP 6001
    map UDP 6000
    grep -q "ExternalIPAddress = $public_a" "$dir/upnpc-TCP.out" ||
        fail "router A did not report the carrier's address"
    send "$inet" "$public_a" 6000 inet-mapped
    expect_refused "$inet" "$public_a" 6001 inet-mapped-tcp
    await_refused
    grep -q inet-mapped "$dir/a.seen" && fail "the mapped UDP port opened through the carrier"
    # The mapping itself works: the carrier reaches it.
    send "$ca" "${wan%/*}" 6000 carrier-mapped
    seen a carrier-mapped > /dev/null || fail "the carrier's datagram did not reach the mapping"
    connect "$ca" "${wan%/*}" 6001 carrier-tcp || fail "the carrier could not connect to the mapping"
    ;;
mapping)
    common
    map TCP 6001
    map UDP 6000
    for ns in "$inet" "$hb"; do
        send "$ns" "$public_a" 6000 "mapped-$ns"
        seen a "mapped-$ns" > /dev/null || fail "the mapped UDP port is closed to $ns"
        connect "$ns" "$public_a" 6001 "mapped-tcp-$ns" || fail "the mapped TCP port is closed to $ns"
    done
    ;;
turn)
    head -c 24 /dev/urandom | base64 > "$dir/secret"
    started=$(now_ms)
    "$rig" turn "$name" "$dir" "$dir/secret"
    echo "figure: turn: coturn listening after $(($(now_ms) - started)) ms"
    [ "$(ip netns identify "$(cat "$dir/turnserver.pid")")" = "$inet" ] ||
        fail "turnserver does not run in $inet"
    ip netns exec "$inet" turnutils_peer -L "$server2" -p 3480 > "$dir/peer.log" 2>&1 &

    # REST-style: the user name is "EXPIRY:anything", the password the
    # base64 HMAC-SHA1 of the user name keyed with the secret.
    password() { printf %s "$1" | openssl dgst -sha1 -hmac "$2" -binary | base64; }
    secret=$(cat "$dir/secret")
    user="$(($(date +%s) + 600)):quadrell"
    # uclient LOG FLAGS...: its exit status; the relay address and the
    # messages it sent and got back are in the log.
    uclient() {
        local log=$1
        shift
        ip netns exec "$ha" timeout 30 turnutils_uclient -v -n 3 -z 5 "$@" "$server" \
            > "$dir/$log.out" 2>&1
    }
    relayed() {
        grep -q "Received relay addr: $server:49[0-9]*" "$dir/$1.out" ||
            fail "$1: no relay address"
        local totals
        totals=$(grep -o "tot_send_msgs=[0-9]*, tot_recv_msgs=[0-9]*$" "$dir/$1.out" | tail -n 1)
        [[ "$totals" =~ ^tot_send_msgs=([1-9][0-9]*),\ tot_recv_msgs=([0-9]+)$ ]] &&
            [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] || fail "$1: relayed '$totals'"
        echo "figure: turn: $1 $(grep -o "Average round trip delay [0-9.]* ms" "$dir/$1.out")"
    }
    refused() {
        grep -q "Cannot complete Allocation" "$dir/$1.out" && ! grep -q "Received relay addr" "$dir/$1.out" ||
            fail "$1: not refused at allocation"
    }
    started=$(now_ms)
    uclient udp -c -u "$user" -w "$(password "$user" "$secret")" -e "$server2" -r 3480 &
    udp=$!
    uclient tcp -T -u "$user" -w "$(password "$user" "$secret")" &
    tcp=$!
    uclient wrong -c -u "$user" -w "$(password "$user" "another secret")" -e "$server2" -r 3480 &&
        fail "a password from another secret got an allocation"
    expired="$(($(date +%s) - 60)):quadrell"
    uclient expired -c -u "$expired" -w "$(password "$expired" "$secret")" -e "$server2" -r 3480 &&
        fail "an expired user name got an allocation"
    wait "$udp" || fail "udp: turnutils_uclient failed"
    wait "$tcp" || fail "tcp: turnutils_uclient failed"
    echo "figure: turn: UDP and TCP allocations relayed in $(($(now_ms) - started)) ms"
    relayed udp
    relayed tcp
    refused wrong
    refused expired
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
finish
echo "PASS: $case_name"
