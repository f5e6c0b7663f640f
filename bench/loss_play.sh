#!/usr/bin/env bash
# Four bots play on one quadrell-server while each loses a share of its
# datagrams both ways (quadrell-bot --loss), for a while at each share. Per
# share: games the first bot finished, connections lost, resend requests per
# minute that the server served (its --stats-file), and the first bot's
# input-to-echo latency (its --stats-file: from a step or turn pressed to the
# movement that shows it).
#
#   bench/loss_play.sh [BIN_DIR] [SECONDS] [PERCENT...]
#       (default build-bench/bin, 60 s, shares 0 5 10 20 30)
#
# Everything runs on 127.0.0.1 and stops by itself.
set -euo pipefail
source "$(dirname "$0")/startserver.sh"

bin=${1:-build-bench/bin}
play=${2:-60}
# Each bot fills two columns of its part: games of some seconds, so that a
# run sees several of them end.
columns=2
shift $(($# > 2 ? 2 : $#))
shares=("$@")
[ ${#shares[@]} -gt 0 ] || shares=(0 5 10 20 30)
bench_work

printf '%5s  %6s  %16s  %18s  %18s\n' "loss" "games" "connections lost" "resends per minute" "echo p99 (median)"
for loss in "${shares[@]}"; do
    run="$work/$loss"
    mkdir -p "$run"
    start_server "$bin" "$run" --stats-file "$run/server.json"
    pids=("$server_pid")
    bots=()
    for n in 1 2 3 4; do
        "$bin/quadrell-bot" --connect "127.0.0.1:$port" --name "Bot$n" --seed "$n" --games 1000000 \
            --wait-players 4 --columns "$columns" --loss "$loss" --stats-file "$run/bot$n.json" >"$run/bot$n.out" 2>"$run/bot$n.err" &
        bots+=($!)
    done
    pids+=("${bots[@]}")
    sleep "$play"
    # A bot that is gone before the server stops has lost its connection.
    lost=0
    for pid in "${bots[@]}"; do
        kill -0 "$pid" 2>/dev/null || lost=$((lost + 1))
    done
    kill -TERM "$server_pid"
    wait "$server_pid" || true
    for pid in "${bots[@]}"; do
        wait "$pid" 2>/dev/null || true  # they lose their server: exit code 1
    done
    pids=()
    python3 - "$run" "$loss" "$play" "$lost" <<'EOF'
import json, os, sys
run, loss, seconds, lost = sys.argv[1], sys.argv[2], float(sys.argv[3]), int(sys.argv[4])
server = json.load(open(os.path.join(run, "server.json")))
resends = sum(c.get("resendRequests", 0) for c in server["clients"])
first = os.path.join(run, "bot1.json")
bot = json.load(open(first)) if os.path.exists(first) else {"games": 0, "echoMilliseconds": {}}
echo = bot["echoMilliseconds"]
print(f"{loss:>4}%  {bot['games']:>6}  {lost:>16}  {resends * 60 / seconds:>18.1f}  "
      f"{echo.get('p99', 0):>8.0f} ms ({echo.get('median', 0):.0f} ms)")
EOF
done
