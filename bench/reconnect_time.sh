#!/usr/bin/env bash
# Time from a killed player to the same player back in its seat: two bots play
# one long game on a dedicated server; KILLS times, one of them is killed and
# started again at once with --reconnect, and the server's log says when it
# gave the seat back. Prints each time and the median, in ms.
#
# Usage: bench/reconnect_time.sh BIN_DIR [KILLS]
set -euo pipefail
bin=$(cd "$1" && pwd)
kills=${2:-10}
. "$(dirname "$0")/startserver.sh"
bench_work

export QT_LOGGING_RULES=quadrell.server.debug=true
export QT_MESSAGE_PATTERN='%{time yyyy-MM-ddThh:mm:ss.zzz} %{message}'
start_server "$bin" "$work"
pids+=("$server_pid")
unset QT_LOGGING_RULES QT_MESSAGE_PATTERN
bot() {
    "$bin/quadrell-bot" --connect "127.0.0.1:$port" --wait-players 2 "$@" >> "$work/bots.out" 2>&1 &
    pids+=($!)
}
bot --name Stay
bot --name Again --reconnect "$work/seat.ini"
sleep 8  # both in the game
times=()
for i in $(seq "$kills"); do
    before=$(grep -c "given back" "$work/server.err" || true)
    kill -9 "${pids[-1]}"
    wait "${pids[-1]}" 2>/dev/null || true
    killed=$(date +%s%3N)
    bot --name Again --reconnect "$work/seat.ini"
    for _ in $(seq 400); do
        [ "$(grep -c "given back" "$work/server.err" || true)" -gt "$before" ] && break
        sleep 0.025
    done
    line=$(grep "given back" "$work/server.err" | tail -n 1)
    back=$(date -d "${line%% *}" +%s%3N)
    [ "$(grep -c "given back" "$work/server.err")" -gt "$before" ] ||
        { echo "kill $i: the seat was not given back" >&2; exit 1; }
    times+=($((back - killed)))
    echo "kill $i: back in its seat after $((back - killed)) ms"
    sleep 2
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "median: ${sorted[$(((${#sorted[@]} - 1) / 2))]} ms over $kills kills"
