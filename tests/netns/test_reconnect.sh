#!/usr/bin/env bash
# A player whose home loses its internet for ten seconds in the middle of a
# game, across the cone NATs of twohomes.sh: a game at home A, joined by
# invite code from home B, both routers punched open. Router B drops every
# packet for ten seconds; the game holds the seat (a computer stands in), the
# bot at home B notices, looks the code up again once the line is back, is
# punched through again and plays on in its seat to the game over, which both
# bots see alike; the kept replay plays again to it.
#
# Usage: test_reconnect.sh BIN_DIR. Prints "figure:" lines. Exit 77: skipped
# (not root, tools missing).
set -euo pipefail

bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
rig=$here/twohomes.sh
"$rig" check

name="qr$$"
dir=$(mktemp -d)
ha="$name-ha" hb="$name-hb"
master=11.22.33.44
export QT_QPA_PLATFORM=offscreen

cleanup() {
    "$rig" down "$name" "$dir"
    rm -rf "$dir"
}
trap cleanup EXIT

. "$here/testlib.sh"

"$rig" up "$name" "$dir" cone
start_master "$bin" "$name" "$master"
ip netns exec "$ha" "$bin/quadrell-server" --port 27403 --invite-only --state-dir "$dir" \
    --master-config "$dir/master.ini" > "$dir/server.out" 2> "$dir/server.log" &
wait_line "$dir/server.out" "invite code: " 20 || fail "no invite code"
wait_line "$dir/server.out" "reachable directly" 20 || fail "no word of the master's check"
code=$(sed -n 's/^invite code: //p' "$dir/server.out")

touch "$dir/replay-mark"
# The bot at home fills its whole part and clears rows: the game ends when the
# bot from home B, filling a few columns, tops its part up.
ip netns exec "$ha" timeout 120 "$bin/quadrell-bot" --connect 127.0.0.1:27403 --name Home \
    --master-config "$dir/master.ini" --wait-players 2 > "$dir/bot-Home.out" 2>&1 &
home_bot=$!
QT_LOGGING_RULES=quadrell.client.debug=true QT_MESSAGE_PATTERN='%{time yyyy-MM-ddThh:mm:ss.zzz} %{message}' \
    ip netns exec "$hb" timeout 120 "$bin/quadrell-bot" --connect "$code" --name Away \
    --master-config "$dir/master.ini" --wait-players 2 --columns 4 > "$dir/bot-Away.out" 2>&1 &
away_bot=$!
wait_line "$dir/bot-Away.out" "connected as" 30 || fail "the bot at home B did not join"
sleep 4.5  # the start countdown, and a moment of play

ip netns exec "$name-rb" nft add table inet blink
ip netns exec "$name-rb" nft add chain inet blink forward \
    '{ type filter hook forward priority -10; policy drop; }'
cut=$(now_ms)
sleep ${BLINK_S:-10}
ip netns exec "$name-rb" nft delete table inet blink
back=$(now_ms)

wait "$away_bot" || fail "the bot at home B did not play to the end: $(tail -n 3 "$dir/bot-Away.out")"
wait "$home_bot" || fail "the bot at home A did not play to the end"
grep -q "lost the server; coming back into seat" "$dir/bot-Away.out" ||
    fail "the bot at home B never lost its server"
[ "$(grep -c "connected as" "$dir/bot-Away.out")" -eq 2 ] || fail "the bot at home B was not back"
result=$(grep "^game 1: score" "$dir/bot-Home.out") || fail "the bot at home A saw no game over"
grep -q "^$result" "$dir/bot-Away.out" || fail "the bots saw different games"
check_replay "$bin" "$dir/replays" "$dir/replay-mark"
at_ms() { date -d "$(cut -d ' ' -f 1)" +%s%3N; }
lost=$(grep -m1 "lost the server" "$dir/bot-Away.out" | at_ms)
again=$(grep "connected as" "$dir/bot-Away.out" | tail -n 1 | at_ms)
echo "figure: reconnect: line cut for $((back - cut)) ms; the bot noticed after" \
    "$((lost - cut)) ms and was back in its seat $((again - back)) ms after the line came back;" \
    "$result"
echo "PASS: reconnect"
