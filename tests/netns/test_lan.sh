#!/usr/bin/env bash
# Games of the local network without a master server: quadrell-servers in two
# namespaces and a client in a third on one bridge, the first machine with two
# games (on 27403 and 27423), the second with one on 27413. `quadrell-bot
# --list`, asking the broadcast address of its own interface at the discovery
# port and the default game port, lists all three with their own ports (marked
# lan); after one server stops, the next list has only the others.
#
# Usage: test_lan.sh BIN_DIR. Exit 77: skipped (not root, no namespaces).
set -euo pipefail

bin=$(cd "$1" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "skipped: network namespaces need root"; exit 77; }
command -v ip >/dev/null 2>&1 || { echo "skipped: ip is missing"; exit 77; }
probe="qlprobe$$"
ip netns add "$probe" 2>/dev/null || { echo "skipped: cannot make network namespaces"; exit 77; }
ip netns del "$probe"

name="ql$$"
switch="$name-sw"
dir=$(mktemp -d)
pids=()

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    for ns in "$switch" "$name-1" "$name-2" "$name-3"; do ip netns del "$ns" 2>/dev/null || true; done
    rm -rf "$dir"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$dir"/*.log; do [ -f "$f" ] && { echo "== $f"; tail -n 20 "$f"; }; done
    exit 1
}

ip netns add "$switch"
ip -n "$switch" link add br0 type bridge
ip -n "$switch" link set br0 up
for i in 1 2 3; do
    ns="$name-$i"
    ip netns add "$ns"
    ip -n "$ns" link set lo up
    ip link add eth0 netns "$ns" type veth peer name port$i netns "$switch"
    ip -n "$switch" link set port$i master br0
    ip -n "$switch" link set port$i up
    ip -n "$ns" addr add "192.168.78.$((i + 1))/24" brd + dev eth0
    ip -n "$ns" link set eth0 up
done

# Game i in namespace host[i] on port[i], in a folder without masterserver.ini.
host=(- 1 2 1)
port=(- 27403 27413 27423)
for i in 1 2 3; do
    (cd "$dir" && exec ip netns exec "$name-${host[i]}" "$bin/quadrell-server" --name "Game $i" \
        --port "${port[i]}") >"$dir/server$i.log" 2>&1 &
    pids+=($!)
done
for i in 1 2 3; do
    for _ in $(seq 200); do
        grep -q "listening on port" "$dir/server$i.log" && break
        sleep 0.05
    done
    grep -q "listening on port ${port[i]}" "$dir/server$i.log" || fail "server $i did not start"
done

list() {
    (cd "$dir" && ip netns exec "$name-3" "$bin/quadrell-bot" --list --wait 1500)
}

out=$(list) || fail "--list failed"
echo "$out"
for i in 1 2 3; do
    where="192\.168\.78\.$((host[i] + 1)):${port[i]}"
    grep -qP "^Game $i\t$where\t0/4\t\d+ ms\tBeta 0\.92\tlan$" <<<"$out" ||
        fail "Game $i is not listed"
done
[ "$(wc -l <<<"$out")" -eq 3 ] || fail "three lines expected"

kill "${pids[1]}"
wait "${pids[1]}" 2>/dev/null || true
out=$(list) || fail "--list failed"
echo "$out"
[ "$(cut -f1 <<<"$out" | sort | tr '\n' ,)" = "Game 1,Game 3," ] || fail "Games 1 and 3 expected, alone"
