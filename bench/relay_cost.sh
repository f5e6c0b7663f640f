#!/usr/bin/env bash
# What a four-player game costs the relay: symmetric NAT at both homes of
# tests/netns/twohomes.sh, the game and one bot at home A, three bots at home
# B joining by code through coturn. Counts the bytes on the internet
# namespace's links to the homes (all of it is the relay's: the master server
# sends a few hundred bytes a minute) and coturn's CPU time while the bots
# play. As root.
#
# Usage: bench/relay_cost.sh BIN_DIR [COLUMNS]
set -euo pipefail

bin=$(cd "$1" && pwd)
columns=${2:-4}
here=$(cd "$(dirname "$0")/../tests/netns" && pwd)
rig=$here/twohomes.sh
"$rig" check
. "$here/testlib.sh"
export QT_QPA_PLATFORM=offscreen
master=11.22.33.44
name="rc$$"
dir=$(mktemp -d)
inet="$name-inet" ha="$name-ha" hb="$name-hb"
trap '"$rig" down "$name" "$dir"; rm -rf "$dir"' EXIT

"$rig" up "$name" "$dir" symmetric
start_master "$bin" "$name" "$master" relay
ip netns exec "$ha" "$bin/quadrell-server" --port 27403 --invite-only \
    --state-dir "$dir" --master-config "$dir/master.ini" > "$dir/server.out" 2> "$dir/server.log" &
wait_line "$dir/server.out" "reachable through the relay" 20 || fail "no relay"
code=$(sed -n 's/^invite code: //p' "$dir/server.out")

bytes() {
    local sum=0
    for dev in wa0 wb0; do
        for d in rx tx; do
            sum=$((sum + $(ip netns exec "$inet" cat "/sys/class/net/$dev/statistics/${d}_bytes")))
        done
    done
    echo "$sum"
}
# Every process of coturn's, in clock ticks.
cpu_ticks() {
    local t=0
    for pid in $(pgrep -x turnserver); do
        t=$((t + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
    done
    echo "$t"
}
play() {
    ip netns exec "$1" timeout 600 "$bin/quadrell-bot" --connect "$2" --name "$3" \
        --master-config "$dir/master.ini" --columns "$columns" --games 1 --wait-players 4 \
        > "$dir/bot-$3.out" 2>&1
}
b0=$(bytes) c0=$(cpu_ticks) t0=$(now_ms)
play "$ha" 127.0.0.1:27403 Home &
pids=($!)
for n in B1 B2 B3; do
    play "$hb" "$code" "$n" &
    pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || fail "a bot could not play"; done
b1=$(bytes) c1=$(cpu_ticks) t1=$(now_ms)
grep -c "^You play through the relay" "$dir"/bot-B*.out | tr '\n' ' '
echo
seconds=$(((t1 - t0) / 1000))
hz=$(getconf CLK_TCK)
echo "figure: relay cost: $(grep -h "^game 1" "$dir/bot-Home.out") in ${seconds} s:" \
    "$(((b1 - b0) / (seconds > 0 ? seconds : 1))) bytes/s through the relay's links (both legs)," \
    "coturn CPU $(awk -v c=$((c1 - c0)) -v hz="$hz" -v s="$seconds" \
        'BEGIN {printf "%.2f s (%.2f%% of one core)", c / hz, 100 * c / hz / (s > 0 ? s : 1)}')"
