# Sourced by the bench scripts.
#
# bench_work makes a scratch directory ($work) and an empty list of processes
# ($pids): when the script ends they are stopped and the directory goes (with
# KEEP_WORK set it stays, and the script says where).
bench_work() {
    work=$(mktemp -d)
    pids=()
    trap bench_cleanup EXIT
}

bench_cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if [ -n "${KEEP_WORK:-}" ]; then
        echo "work: $work" >&2
    else
        rm -rf "$work"
    fi
}

# start_server BIN DIR [ARGS...] starts
# BIN/quadrell-server on a free port with ARGS, its output in DIR/server.out
# and DIR/server.err, and sets server_pid and port; the script ends when the
# server does not come up.
start_server() {
    local bin=$1 dir=$2
    shift 2
    "$bin/quadrell-server" --port 0 --state-dir "$dir" "$@" >"$dir/server.out" 2>"$dir/server.err" &
    server_pid=$!
    for _ in $(seq 1 100); do
        grep -q "listening on port" "$dir/server.out" 2>/dev/null && break
        sleep 0.1
    done
    port=$(sed -n 's/^quadrell-server listening on port \([0-9]*\)$/\1/p' "$dir/server.out")
    if [ -z "$port" ]; then
        echo "$(basename "$0"): quadrell-server did not start" >&2
        cat "$dir/server.err" >&2
        exit 1
    fi
}
