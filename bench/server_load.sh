#!/usr/bin/env bash
# Four bots play on quadrell-server for a while (30 s by default): the server's
# tick period and jitter from its own figures, bytes per second sent to each
# client, and its resident memory idle and during the game.
#
#   bench/server_load.sh [BIN_DIR] [PLAY_SECONDS]     (BIN_DIR default build-bench/bin)
#
# Everything runs on 127.0.0.1 and stops by itself.
set -euo pipefail
source "$(dirname "$0")/startserver.sh"

bin=${1:-build-bench/bin}
play=${2:-30}
work=$(mktemp -d)
server_pid=""
bot_pids=()

cleanup() {
    for pid in "${bot_pids[@]}" $server_pid; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

rss_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

start_server "$bin" "$work" --stats-file "$work/stats.json"
sleep 1
idle_rss=$(rss_kib "$server_pid")

# They get ready together, so that one game of four starts; whenever a game
# ends they play the next.
for n in 1 2 3 4; do
    "$bin/quadrell-bot" --connect "127.0.0.1:$port" --name "Bot$n" --seed "$n" --games 1000000 \
        --wait-players 4 >"$work/bot$n.out" 2>&1 &
    bot_pids+=($!)
done
start=$(date +%s.%N)
sleep 4  # the start countdown
sleep $((play / 2))
game_rss=$(rss_kib "$server_pid")
sleep $((play - play / 2))
for pid in "${bot_pids[@]}"; do
    kill -0 "$pid" 2>/dev/null || { echo "server_load: a bot ended early:" >&2; cat "$work"/bot*.out >&2; exit 1; }
done
kill -TERM "$server_pid"
wait "$server_pid" || true
server_pid=""
end=$(date +%s.%N)
for pid in "${bot_pids[@]}"; do
    wait "$pid" 2>/dev/null || true  # they lose their server: exit code 1
done
bot_pids=()
games=$(cat "$work"/bot1.out | grep -c '^game ' || true)

python3 - "$work/stats.json" "$start" "$end" "$idle_rss" "$game_rss" "$games" <<'EOF'
import json, sys
stats = json.load(open(sys.argv[1]))
start, end = float(sys.argv[2]), float(sys.argv[3])
idle, game, games = int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
seconds = end - start
p, j, w = stats["tickPeriodMilliseconds"], stats["tickJitterMilliseconds"], stats["tickWorkMicroseconds"]
print(f"ticks {stats['ticks']} over {stats['tickingSeconds']:.1f} s of play "
      f"(nominal {stats['nominalTickMs']} ms); games finished meanwhile: {games}")
print(f"tick period: median {p['median']:.3f} ms, p99 {p['p99']:.3f} ms, max {p['max']:.3f} ms")
print(f"tick jitter: median {j['median']:.3f} ms, p99 {j['p99']:.3f} ms, max {j['max']:.3f} ms")
print(f"tick work: median {w['median']:.1f} us, p99 {w['p99']:.1f} us")
for c in stats["clients"]:
    total = c["streamBytes"] + c["datagramBytes"]
    print(f"client {c['clientId']}: {total / seconds / 1024:.2f} KiB/s over {seconds:.1f} s "
          f"(stream {c['streamBytes']} B, datagrams {c['datagramBytes']} B)")
print(f"resident memory: idle {idle / 1024:.1f} MiB, during the game {game / 1024:.1f} MiB")
EOF
