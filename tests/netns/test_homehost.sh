#!/usr/bin/env bash
# quadrell-server at home behind the namespace router of homerouter.sh:
#
#   upnp      port opening off: a bot out on the internet cannot join. Then
#             the wanted port already forwarded to someone else: the server
#             takes the port the router gives, the master server (out on the
#             internet) lists it, a bot at home and one outside play a game;
#             after SIGTERM the mapping is gone from the router, the
#             neighbour's kept.
#   fallback  UPnP off in the router: PCP opens the port, renewed past its
#             lease; a bot outside plays; SIGTERM removes the mapping.
#   upnponly  NAT-PMP/PCP off: UPnP alone opens the port; SIGTERM removes it.
#
# Usage: test_homehost.sh CASE BIN_DIR. Prints "figure:" lines with the time
# from start to the "reachable at" line. Exit 77: skipped (not root, no tools).
set -euo pipefail

case_name=$1
bin=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
rig=$here/homerouter.sh
"$rig" check

name="qh$$"
dir=$(mktemp -d)
home="$name-home"
internet="$name-internet"
router="$name-router"
public=11.22.33.1
export QT_QPA_PLATFORM=offscreen

cleanup() {
    "$rig" down "$name" "$dir"
    rm -rf "$dir"
}
trap cleanup EXIT

. "$here/testlib.sh"

# start_server LOG ARGS...: quadrell-server at home; sets server_pid.
start_server() {
    local log=$1
    shift
    ip netns exec "$home" "$bin/quadrell-server" --port 27403 --state-dir "$dir" "$@" > "$dir/$log.out" \
        2> "$dir/$log.log" &
    server_pid=$!
    wait_line "$dir/$log.out" "listening on port 27403" || fail "the server did not start"
}

stop_server() {
    kill -TERM "$server_pid"
    wait "$server_pid" || fail "the server did not end with 0 after SIGTERM"
}

# bot NS ADDRESS NAME ARGS...: one short game; its exit code.
bot() {
    local ns=$1 address=$2 botname=$3
    shift 3
    ip netns exec "$ns" timeout 90 "$bin/quadrell-bot" --connect "$address" --name "$botname" \
        --columns 1 --games 1 "$@" >> "$dir/bot-$botname.out" 2>&1
}

# reachable LOG: waits for the line, checks it and prints the figure; sets port.
reachable() {
    local log=$1 method=$2 started=$3
    local claim="^quadrell-server (reachable at|not reachable from)"
    wait_line "$dir/$log.out" "$claim" 20 || fail "no reachability line"
    local line
    line=$(grep -m1 -E "$claim" "$dir/$log.out")
    echo "figure: $case_name: '$line' after $(($(now_ms) - started)) ms"
    [[ "$line" =~ ^quadrell-server\ reachable\ at\ $public:([0-9]+)\ \($method\)$ ]] ||
        fail "unexpected line '$line'"
    port=${BASH_REMATCH[1]}
}

# Whether the router forwards anything to the game port at home.
mapped() {
    local rules
    rules=$(ip netns exec "$router" nft list chain inet homerouter prerouting_miniupnpd)
    grep -q "dnat ip to 192.168.77.2:27403" <<< "$rules"
}

case "$case_name" in
upnp)
    "$rig" up "$name" "$dir" yes yes
    start_server off
    bot "$internet" "$public:27403" Outside && fail "a bot outside joined without port opening"
    grep -q "could not be found" "$dir/bot-Outside.out" || fail "the bot failed otherwise"
    stop_server

    # A neighbour at home has the port already, for both protocols.
    for proto in TCP UDP; do
        ip netns exec "$home" upnpc -a 192.168.77.3 40000 27403 "$proto" > /dev/null
    done
    ip netns exec "$internet" "$bin/quadrell-master" --port 27404 > "$dir/master.out" 2>&1 &
    printf '[Master]\nGeneral\\Address=11.22.33.44\nGeneral\\Port=27404\n' > "$dir/master.ini"
    wait_line "$dir/master.out" "listening" || fail "the master server did not start"
    started=$(now_ms)
    start_server on --open-port --master-config "$dir/master.ini"
    reachable on "UPnP IGD" "$started"
    [ "$port" != 27403 ] || fail "the router gave the port someone else has"
    mapped || fail "no mapping in the router"
    wait_line "$dir/master.out" "registered $public:$port " 10 ||
        fail "the master server did not list $public:$port"

    bot "$home" 127.0.0.1:27403 Home --wait-players 2 &
    home_bot=$!
    bot "$internet" "$public:$port" Far --wait-players 2 || fail "the bot outside could not play"
    wait "$home_bot" || fail "the bot at home could not play"
    grep -q "^game 1: score" "$dir/bot-Far.out" || fail "the bot outside played no game"

    stop_server
    ! mapped || fail "the mapping outlived the server"
    ip netns exec "$home" upnpc -l > "$dir/upnpc.out" 2>&1
    grep -q "192.168.77.3:40000" "$dir/upnpc.out" || fail "the neighbour's mapping went too"
    ;;
fallback)
    "$rig" up "$name" "$dir" no yes
    started=$(now_ms)
    start_server on --open-port --port-lease 4
    reachable on "PCP" "$started"
    mapped || fail "no mapping in the router"
    sleep 6  # past the lease: only renewals keep it
    bot "$internet" "$public:$port" Far || fail "the bot outside could not play"
    stop_server
    ! mapped || fail "the mapping outlived the server"
    ;;
upnponly)
    "$rig" up "$name" "$dir" yes no
    started=$(now_ms)
    start_server on --open-port
    reachable on "UPnP IGD" "$started"
    [ "$port" = 27403 ] || fail "the router gave $port for a free port"
    mapped || fail "no mapping in the router"
    stop_server
    ! mapped || fail "the mapping outlived the server"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
echo "PASS: $case_name"
