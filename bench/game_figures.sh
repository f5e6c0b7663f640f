#!/usr/bin/env bash
# The game as a player starts it, on a private Xvfb screen with software GL:
# time from process start to the first painted main menu (intro off), resident
# memory, and CPU used while the main menu sits idle and while a singleplayer
# game runs (keys sent with xdotool), with frames paced to the screen and
# again with --flat-out (as fast as it can).
#
#   bench/game_figures.sh [BIN_DIR] [SECONDS]     (BIN_DIR default build-bench/bin)
set -euo pipefail

bin=$(cd "${1:-build-bench/bin}" && pwd)
seconds=${2:-10}
for tool in Xvfb xdotool xwd convert; do
    command -v $tool >/dev/null || { echo "game_figures: skipped, needs $tool (apt-get install xvfb xdotool x11-apps imagemagick)"; exit 0; }
done
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 150 199); do [ -e /tmp/.X$n-lock ] || { display=:$n; break; }; done
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

cd "$work"
printf '[Client]\nGeneral\\ShowIntro=false\n[Server]\nGeneral\\Port=0\n' > settings.ini
colours() { xwd -root -silent | convert xwd:- -format %k info: 2>/dev/null || echo 0; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_mib() { awk '/^VmRSS:/ { printf "%.0f", $2 / 1024 }' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)

# Starts the game with the flags given and waits for its main menu.
start_game() {
    start=$(date +%s%N)
    "$bin/quadrell" --windowed "$@" >"$work/game.log" 2>&1 &
    game=$!
    pids+=($game)
    # The menu is there once the screen holds more than the empty background.
    until [ "$(colours)" -gt 8 ]; do
        kill -0 $game 2>/dev/null || { echo "game_figures: the game ended" >&2; cat "$work/game.log" >&2; exit 1; }
        sleep 0.02
    done
}
play_singleplayer() {
    xdotool key Return   # Singleplayer
    sleep 2
    xdotool key r
    sleep 4              # countdown
    t0=$(cpu_ticks $game)
    end=$((SECONDS + seconds))
    while [ $SECONDS -lt $end ]; do
        xdotool key Left space
        sleep 0.5
    done
    t1=$(cpu_ticks $game)
    echo "singleplayer game ($1): $(( (t1 - t0) * 100 / hz / seconds ))% of one core, resident $(rss_mib $game) MiB"
    kill $game; wait $game 2>/dev/null || true
}

start_game
menu_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "main menu after: ${menu_ms} ms (process start to first painted menu, screenshot polling included)"

sleep 2
t0=$(cpu_ticks $game); sleep "$seconds"; t1=$(cpu_ticks $game)
echo "idle main menu: $(( (t1 - t0) * 100 / hz / seconds ))% of one core, resident $(rss_mib $game) MiB"
play_singleplayer "frames paced to the screen"

start_game --flat-out
sleep 2
play_singleplayer "--flat-out: drawing as fast as it can"
