#!/usr/bin/env bash
# Joining a game by invite code across the two homes of twohomes.sh, with the
# master server out on the internet:
#
#   mapping  home A's router opens the port: the master server finds the
#            game reachable at home A's public address, a bot at home A and
#            one at home B (joining by the code) play a game together, not
#            through the relay the master server offers; a bot out on the
#            internet still joins by address
#   relay    symmetric NAT at both homes, coturn beside the master server:
#            nothing can be punched, the game takes addresses at the relay,
#            the bot at home B joins by code through them and both play a
#            game; coturn restarts (losing every allocation), the game takes
#            new ones and is joined through them
#   cone     no port opening and no relay: the master server finds the game
#            unreachable and says so; both routers are punched open, stream
#            and datagrams, and the bots play a game
#   cgnat    the router maps the port, but behind the carrier's NAT that opens
#            nothing: the router's claim is printed, the master server's
#            check says unreachable, and the game is punched through both
#            NATs, not relayed; once router A lets no stream between home A
#            and home B through (datagrams still pass), the punched stream
#            cannot come through and the joiner goes on to the relay
#   ipv6     a game out on the internet with both families, the master server
#            named by a host name with both records: the master server finds
#            the game over both, a bot at home B joins by code over IPv6 and
#            another by the IPv6 address in brackets; a game at home A, behind
#            its router's IPv6 firewall, is punched to over IPv6 by a bot
#            that knows only the master server's IPv6 address
#
# Usage: test_joinanywhere.sh CASE BIN_DIR. Prints "figure:" lines. Exit 77:
# skipped (not root, tools missing).
set -euo pipefail

case_name=$1
bin=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
rig=$here/twohomes.sh
"$rig" check

name="qj$$"
dir=$(mktemp -d)
inet="$name-inet" ha="$name-ha" hb="$name-hb"
master=11.22.33.44 public_a=11.22.10.2
export QT_QPA_PLATFORM=offscreen

cleanup() {
    "$rig" down "$name" "$dir"
    rm -rf "$dir" "/etc/netns/$inet" "/etc/netns/$ha" "/etc/netns/$hb"
}
trap cleanup EXIT

. "$here/testlib.sh"

# bot NS CONNECT NAME ARGS...: one short game; its exit code.
bot() {
    local ns=$1 connect=$2 botname=$3
    shift 3
    ip netns exec "$ns" timeout 90 "$bin/quadrell-bot" --connect "$connect" --name "$botname" \
        --master-config "${master_config:-$dir/master.ini}" --columns 1 --games 1 "$@" \
        >> "$dir/bot-$botname.out" 2>&1
}

variant=$case_name
[ "$case_name" != relay ] || variant=symmetric
# A bot at home A and one at home B, joining by code, play a game; WAY names
# how in the messages and the figure, and the bot at home B says LINE (none:
# it says nothing of its way).
play_by_code() {
    local way=$1 line=$2 home_bot joined
    touch "$dir/replay-mark"
    bot "$ha" 127.0.0.1:27403 Home --wait-players 2 &
    home_bot=$!
    joined=$(now_ms)
    bot "$hb" "$code" Away --wait-players 2 || fail "the bot at home B could not play $way"
    wait "$home_bot" || fail "the bot at home A could not play"
    grep -q "^game 1: score" "$dir/bot-Away.out" || fail "the bot at home B played no game"
    [ -z "$line" ] || grep -q "^$line" "$dir/bot-Away.out" ||
        fail "the bot at home B did not play $way: $(grep '^You play' "$dir/bot-Away.out")"
    check_replay "$bin" "$dir/replays" "$dir/replay-mark"
    echo "figure: $case_name: code to game over at home B $way in $(($(now_ms) - joined)) ms"
}
play_through_relay() {
    wait_line "$dir/server.out" "reachable through the relay at $master:" 20 ||
        fail "the game got no addresses at the relay"
    play_by_code "through the relay" "You play through the relay at $master:"
}
play_punched() {
    play_by_code punched "You play directly with the host's game at $public_a:"
    grep -q "punched at $public_a:[0-9]*+27403" "$dir/master.out" ||
        fail "the master server did not name a punched way"
    ! grep -q "through the relay" "$dir/bot-Away.out" || fail "a punched game used the relay"
}

"$rig" up "$name" "$dir" "$variant"
relay=relay
[ "$case_name" != cone ] && [ "$case_name" != ipv6 ] || relay=
server_ns=$ha
if [ "$case_name" = ipv6 ]; then
    # ip netns exec puts /etc/netns/NS/hosts in place of /etc/hosts.
    for ns in "$inet" "$ha" "$hb"; do
        mkdir -p "/etc/netns/$ns"
        printf '%s master.test\n2001:db8:33::44 master.test\n' "$master" > "/etc/netns/$ns/hosts"
    done
    master=master.test
    server_ns=$inet
fi
start_master "$bin" "$name" "$master" ${relay:+"$relay"}

open_port=()
[ "$case_name" = cone ] || [ "$case_name" = ipv6 ] || open_port=(--open-port)
started=$(now_ms)
ip netns exec "$server_ns" "$bin/quadrell-server" --port 27403 --invite-only "${open_port[@]}" \
    --state-dir "$dir" \
    --master-config "$dir/master.ini" > "$dir/server.out" 2> "$dir/server.log" &
wait_line "$dir/server.out" "invite code: " 20 || fail "no invite code"
wait_line "$dir/server.out" "reachable directly" 20 || fail "no word of the master's check"
code=$(sed -n 's/^invite code: //p' "$dir/server.out")
echo "figure: $case_name: invite code and the master's check after $(($(now_ms) - started)) ms"
! grep -q "^registered" "$dir/master.out" || fail "an invite-only game was listed"

case "$case_name" in
mapping)
    grep -qE "^quadrell-server reachable directly at $public_a:[0-9]+ \(checked" "$dir/server.out" ||
        fail "the master server did not find the mapped game"
    play_by_code directly ""
    port=$(sed -n "s/^quadrell-server reachable directly at $public_a:\([0-9]*\) .*/\1/p" \
        "$dir/server.out")
    bot "$inet" "$public_a:$port" Far || fail "a join by address no longer works"
    ! grep -q "relay" "$dir/bot-Away.out" "$dir/server.out" || fail "a reachable game used the relay"
    ;;
relay)
    play_through_relay
    before=$(grep -c "reachable through the relay at" "$dir/server.out")
    turn_pid=$(cat "$dir/turnserver.pid")
    kill "$turn_pid"
    while kill -0 "$turn_pid" 2> /dev/null; do sleep 0.05; done
    "$rig" turn "$name" "$dir" "$dir/secret" || fail "coturn did not start again"
    wait_line "$dir/server.out" "not reachable through the relay" 20 ||
        fail "the game did not notice that the relay lost it"
    for _ in $(seq 400); do
        [ "$(grep -c "reachable through the relay at" "$dir/server.out")" -gt "$before" ] && break
        sleep 0.05
    done
    : > "$dir/bot-Away.out"
    play_through_relay
    ;;
cone)
    grep -q "^quadrell-server not reachable directly at $public_a:27403 " "$dir/server.out" ||
        fail "the master server's check did not say unreachable"
    play_punched
    ;;
ipv6)
    wait_line "$dir/master.out" "reached at \[2001:db8:33::44\]:27403: stream yes, datagrams yes" ||
        fail "the master server did not reach the game over IPv6"
    # The client says where it connects to.
    QT_LOGGING_RULES=quadrell.client.debug=true bot "$hb" "$code" Away ||
        fail "the bot at home B could not play by code"
    grep -q 'connecting to QHostAddress("2001:db8:33::44") 27403' "$dir/bot-Away.out" ||
        fail "the game by code did not go over IPv6"
    bot "$hb" "[2001:db8:33::44]:27403" Literal || fail "a join by IPv6 address failed"
    ip netns exec "$ha" "$bin/quadrell-server" --port 27403 --invite-only --state-dir "$dir" \
        --master-config "$dir/master.ini" > "$dir/server-a.out" 2>&1 &
    wait_line "$dir/server-a.out" "reachable directly" 20 || fail "no word of the master's check at home A"
    code=$(sed -n 's/^invite code: //p' "$dir/server-a.out")
    bot "$ha" 127.0.0.1:27403 HomeA --wait-players 2 &
    home_bot=$!
    printf '[Master]\nGeneral\\Address=2001:db8:33::44\nGeneral\\Port=27404\n' > "$dir/master6.ini"
    master_config=$dir/master6.ini bot "$hb" "$code" Away6 --wait-players 2 ||
        fail "the bot at home B could not play by code over IPv6"
    wait "$home_bot" || fail "the bot at home A could not play"
    grep -q "^You play directly with the host's game at 2001:db8:a1::2:" "$dir/bot-Away6.out" ||
        fail "not punched over IPv6: $(grep '^You play' "$dir/bot-Away6.out")"
    ;;
cgnat)
    grep -q "^quadrell-server reachable at $public_a:" "$dir/server.out" ||
        fail "the router's claim was not printed"
    grep -q "^quadrell-server not reachable directly at $public_a:" "$dir/server.out" ||
        fail "the master server's check did not say unreachable"
    play_punched
    for way in saddr daddr; do
        ip netns exec "$name-ra" nft insert rule inet twohomes forward ip "$way" 11.22.20.2 \
            meta l4proto tcp drop
    done
    : > "$dir/bot-Away.out"
    play_through_relay
    [ "$(grep -c "punched at" "$dir/master.out")" -ge 2 ] ||
        fail "the joiner was not offered the punched way first"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
echo "PASS: $case_name"
