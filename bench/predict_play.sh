#!/usr/bin/env bash
# Four bots play on one quadrell-server with their own moves predicted
# (quadrell-bot --predict) over a slow network (--latency), for a while at each
# round trip. Per round trip and bot: own moves predicted, places the server
# corrected (also per 1,000 moves) and how far the corrected blocks jumped.
#
#   bench/predict_play.sh [BIN_DIR] [SECONDS] [SKILL] [LATENCY...]
#       (default build-bench/bin, 60 s, skill simple, round trips 0 100)
#
# LATENCY is MS[,JITTER] as quadrell-bot --latency takes it. Everything runs on
# 127.0.0.1 and stops by itself.
set -euo pipefail
source "$(dirname "$0")/startserver.sh"

bin=${1:-build-bench/bin}
play=${2:-60}
skill=${3:-simple}
shift $(($# > 3 ? 3 : $#))
latencies=("$@")
[ ${#latencies[@]} -gt 0 ] || latencies=(0 100)
bench_work

for latency in "${latencies[@]}"; do
    run="$work/${latency/,/_}"
    mkdir -p "$run"
    start_server "$bin" "$run"
    pids=("$server_pid")
    bots=()
    for n in 1 2 3 4; do
        "$bin/quadrell-bot" --connect "127.0.0.1:$port" --name "Bot$n" --seed "$n" --games 1000000 \
            --wait-players 4 --columns 12 --skill "$skill" --latency "$latency" --predict \
            --stats-file "$run/bot$n.json" >"$run/bot$n.out" 2>"$run/bot$n.err" &
        bots+=($!)
    done
    pids+=("${bots[@]}")
    sleep "$play"
    kill -TERM "$server_pid"
    wait "$server_pid" || true
    for pid in "${bots[@]}"; do
        wait "$pid" 2>/dev/null || true  # they lose their server: exit code 1
    done
    pids=()
    echo "round trip $latency ms, $skill bots, $play s:"
    for n in 1 2 3 4; do
        echo "  Bot$n: $(grep -c '^game' "$run/bot$n.out" || true) games; $(grep '^prediction:' "$run/bot$n.out" || echo 'no figures')"
    done
done
