# What the netns tests share; source it after setting dir (the test's folder).

# Fails the test, showing the end of every log in $dir.
fail() {
    echo "FAIL: $*"
    for f in "$dir"/*.log "$dir"/*.out; do
        [ -f "$f" ] && { echo "== $f"; tail -n 30 "$f"; }
    done
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts the master server of twohomes.sh NAME in its internet namespace on
# port 27404 and writes $dir/master.ini, which names it ADDRESS. With "relay":
# coturn beside it on 11.22.33.44:3478 with a fresh secret ($dir/secret),
# which the master server shares.
start_master() {
    local bin=$1 name=$2 address=$3 relay=()
    if [ "${4:-}" = relay ]; then
        head -c 24 /dev/urandom | base64 > "$dir/secret"
        "$(dirname "${BASH_SOURCE[0]}")/twohomes.sh" turn "$name" "$dir" "$dir/secret" ||
            fail "coturn did not start"
        relay=(--relay 11.22.33.44:3478 --relay-secret-file "$dir/secret")
    fi
    ip netns exec "$name-inet" "$bin/quadrell-master" --port 27404 "${relay[@]}" \
        > "$dir/master.out" 2>&1 &
    printf '[Master]\nGeneral\\Address=%s\nGeneral\\Port=27404\n' "$address" > "$dir/master.ini"
    wait_line "$dir/master.out" "listening" || fail "the master server did not start"
}

# Waits up to $3 seconds for a line matching $2 in file $1.
wait_line() {
    local file=$1 pattern=$2 seconds=${3:-15}
    for _ in $(seq $((seconds * 20))); do
        grep -qE "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

# check_replay BIN_DIR FOLDER MARK: the game the server kept in FOLDER after
# file MARK was touched plays again to its result.
check_replay() {
    local bin=$1 folder=$2 mark=$3 file=""
    for _ in $(seq 100); do
        file=$(find "$folder" -name '*.qrpl' -newer "$mark" 2>/dev/null | head -n 1)
        [ -z "$file" ] || break
        sleep 0.05
    done
    [ -n "$file" ] || fail "the server kept no replay of the game in $folder"
    "$bin/quadrell-fieldsim" --replay "$file" > "$dir/replay.out" 2>&1 ||
        fail "the kept game does not play again to its result: $(cat "$dir/replay.out")"
    echo "$(basename "$file") $(tail -n 1 "$dir/replay.out")"
}
