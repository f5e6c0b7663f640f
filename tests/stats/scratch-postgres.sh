#!/usr/bin/env bash
# A throwaway PostgreSQL server in a folder of its own, on 127.0.0.1, for the
# stats tests and benchmarks. Trust authentication; user quadrell, database stats.
# Run as root, the server runs as an unprivileged user, who must be able to
# reach DIR (its parent folders need the x bit for others).
#   scratch-postgres.sh start DIR PORT [SERVER OPTIONS...]   prints the database URL
#   scratch-postgres.sh stop DIR
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
run=()
if [ "$(id -u)" -eq 0 ]; then
  # initdb refuses root: the server runs as an unprivileged user.
  user=postgres
  id -u "$user" >/dev/null 2>&1 || user=nobody
  run=(runuser -u "$user" --)
fi

case "${1:-}" in
start)
  dir=$2 port=$3
  shift 3
  mkdir -p "$dir/data"
  if [ ${#run[@]} -gt 0 ]; then chown -R "$user" "$dir"; fi
  if ! "${run[@]}" "$bin/initdb" -D "$dir/data" -U quadrell --auth=trust -E UTF8 --no-sync \
      >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
  fi
  if ! "${run[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 $*" start >/dev/null; then
    cat "$dir/server.log" >&2
    exit 1
  fi
  "${run[@]}" "$bin/createdb" -h 127.0.0.1 -p "$port" -U quadrell stats
  echo "postgresql://quadrell@127.0.0.1:$port/stats"
  ;;
stop)
  "${run[@]}" "$bin/pg_ctl" -D "$2/data" -m immediate -w stop >/dev/null
  ;;
*)
  echo "usage: $0 start DIR PORT [SERVER OPTIONS...] | stop DIR" >&2
  exit 2
  ;;
esac
