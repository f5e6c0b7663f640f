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

# Waits up to $3 seconds for a line matching $2 in file $1.
wait_line() {
    local file=$1 pattern=$2 seconds=${3:-15}
    for _ in $(seq $((seconds * 20))); do
        grep -qE "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}
