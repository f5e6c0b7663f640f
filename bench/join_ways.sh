#!/usr/bin/env bash
# Joining by invite code from home B to a game at home A, across the two homes
# of tests/netns/twohomes.sh with the master server and coturn out on the
# internet and 20 ms each way on both homes' lines where the kernel has netem.
# Per set-up: the way the
# joins took (direct, punched or through the relay), the time from asking the
# master server for the code to the lobby (median and range of RUNS joins),
# the ping in the game (median), and of the punched joins how many came
# through at the first try (the first probe answered, the stream through
# without falling back to the relay). As root.
#
# With LOSS=PERCENT each home's router drops that share of the datagrams it
# forwards, both ways (nftables, so also where the kernel has no netem).
#
# Usage: [LOSS=PERCENT] bench/join_ways.sh BIN_DIR [RUNS] [VARIANT...]
set -euo pipefail

bin=$(cd "$1" && pwd)
runs=${2:-10}
shift $(($# < 2 ? $# : 2))
variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(mapping cone cgnat symmetric ipv6)
here=$(cd "$(dirname "$0")/../tests/netns" && pwd)
rig=$here/twohomes.sh
"$rig" check
. "$here/testlib.sh"
export QT_QPA_PLATFORM=offscreen
master=11.22.33.44
delay="20 ms added each way on both homes' lines"

median() { sort -n | awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]; else print "-"}'; }

one_variant() {
    local variant=$1 name="jw$$" open_port=()
    dir=$(mktemp -d)
    local inet="$name-inet" ha="$name-ha" hb="$name-hb"
    trap '"$rig" down "$name" "$dir"; rm -rf "$dir"' RETURN
    "$rig" up "$name" "$dir" "$variant"
    for dev in wa0 wb0; do
        ip netns exec "$inet" tc qdisc add dev "$dev" root netem delay 20ms 2> /dev/null ||
            delay="no added delay (no netem in this kernel)"
    done
    start_master "$bin" "$name" "$master" relay
    if [ "${LOSS:-0}" -gt 0 ]; then
        for router in "$name-ra" "$name-rb"; do
            ip netns exec "$router" nft insert rule inet twohomes forward meta l4proto udp \
                numgen random mod 100 '<' "$LOSS" drop
        done
    fi
    case "$variant" in mapping | cgnat) open_port=(--open-port) ;; esac
    ip netns exec "$ha" "$bin/quadrell-server" --port 27403 --invite-only "${open_port[@]}" \
        --state-dir "$dir" --master-config "$dir/master.ini" > "$dir/server.out" 2> "$dir/server.log" &
    wait_line "$dir/server.out" "reachable directly" 20 || fail "no word of the master's check"
    grep -q "^quadrell-server reachable directly" "$dir/server.out" ||
        wait_line "$dir/server.out" "reachable through the relay" 20 || fail "no relay"
    local code
    code=$(sed -n 's/^invite code: //p' "$dir/server.out")
    : > "$dir/lobby.ms"
    : > "$dir/ping.ms"
    : > "$dir/ways"
    : > "$dir/tries"
    for i in $(seq "$runs"); do
        local out="$dir/join-$i.out"
        QT_LOGGING_RULES="quadrell.client.debug=true;quadrell.network.debug=true" \
            QT_MESSAGE_PATTERN="%{time process} %{message}" \
            ip netns exec "$hb" timeout 60 "$bin/quadrell-bot" --connect "$code" --name "J$i" \
            --master-config "$dir/master.ini" --columns 1 --games 1 > "$out" 2>&1 ||
            { [ "${LOSS:-0}" -gt 0 ] || fail "join $i failed: $(tail -n 3 "$out")"; }
        awk '/asking the master server where/ {a = $1} /connected as/ && !c {c = $1}
             END {if (a != "" && c != "") printf "%d\n", (c - a) * 1000}' "$out" >> "$dir/lobby.ms"
        # "ping list QList(ids) QList(pings)": the own pings once measured.
        sed -n 's/.*ping list QList([^)]*) QList(\([^)]*\)).*/\1/p' "$out" | tr ',' '\n' |
            tr -d ' ' | grep -v '^999$' | grep -v '^$' >> "$dir/ping.ms" || true
        if grep -q "^You play through the relay" "$out"; then
            echo relayed
        elif grep -q "^You play directly with the host's game" "$out"; then
            echo punched
        elif grep -q "^game 1: score" "$out"; then
            echo direct
        else
            echo failed
        fi >> "$dir/ways"
        if grep -q "punched way did not come through" "$out"; then
            echo "again" >> "$dir/tries"
        elif grep -q "^You play directly with the host's game" "$out" &&
            grep -q "join probe answered after 0 repetitions" "$out"; then
            echo "first" >> "$dir/tries"
        fi
    done
    local lobby
    lobby=$(sort -n "$dir/lobby.ms" | awk '{v[NR] = $1} END {printf "%s ms (%s to %s)",
        v[int((NR + 1) / 2)], v[1], v[NR]}')
    echo "figure: $variant: ways $(sort "$dir/ways" | uniq -c | awk '{printf "%s %s ", $2, $1}')" \
        "| code to lobby median $lobby | ping median $(median < "$dir/ping.ms") ms" \
        "($(wc -l < "$dir/ping.ms") pings)" \
        "| punched at the first try $(grep -c first "$dir/tries" || true) of $runs"
}

for v in "${variants[@]}"; do
    one_variant "$v"
done
echo "figure: links: $delay${LOSS:+, $LOSS% of the datagrams dropped at each router}"
