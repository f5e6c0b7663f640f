#!/usr/bin/env bash
# How long computer players keep a game going, with quadrell-fieldsim: hard
# players against the simple policy at 12, 24, 36 and 48 columns, and a mixed
# game of one simple player (standing in for a person) and three hard ones on
# 48 columns against four simple ones. Every game runs until it is over or
# reaches speed 50 (49 minutes of play), one game at a time.
#
#   bench/computer_figures.sh [BIN_DIR] [SEEDS] [FIELDS]
#       (default build-bench/bin, 10 seeds, FIELDS "12 24 36 48 mixed": a width
#       plays hard against simple players, "mixed" the game of 48 columns with
#       one simple player and three hard ones)
set -euo pipefail

bin=$(cd "${1:-build-bench/bin}" && pwd)
seeds=${2:-10}
fields=${3:-12 24 36 48 mixed}

# Prints "seconds speed pieces rows" of one game.
play() {
    "$bin/quadrell-fieldsim" --columns "$1" --skill "$2" --seed "$3" --pieces 100000000 \
        --until-speed 50 |
        awk '/^pieces/ { pieces = $2; rows = $5; speed = $9 }
             /play time/ { split($NF, t, ":"); secs = t[1] * 3600 + t[2] * 60 + t[3] }
             END { printf "%d %d %d %d\n", secs, speed, pieces, rows }'
}

hms() { printf "%02d:%02d:%02d" $(($1 / 3600)) $(($1 % 3600 / 60)) $(($1 % 60)); }

# Runs the seeds for one field and skill; prints one row of the table.
row() {
    local columns=$1 skill=$2 times=() at50=0 detail=""
    for seed in $(seq "$seeds"); do
        read -r secs speed pieces rows < <(play "$columns" "$skill" "$seed")
        times+=("$secs")
        [ "$speed" -ge 50 ] && at50=$((at50 + 1))
        detail+=" $(hms "$secs")/$speed"
    done
    local median
    median=$(printf "%s\n" "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END {
        print (NR % 2) ? a[(NR + 1) / 2] : int((a[NR / 2] + a[NR / 2 + 1]) / 2) }')
    echo "| $columns | $skill | $(hms "$median") | $at50 of $seeds |$detail |"
}

echo "| columns | players | median play time | reached speed 50 | play time/speed per seed |"
echo "|---|---|---|---|---|"
for field in $fields; do
    if [ "$field" = mixed ]; then
        row 48 simple,hard,hard,hard
    else
        row "$field" hard
        row "$field" simple
    fi
done
