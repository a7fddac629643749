#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for the tests.
#   pg-test-server.sh start DIR   initdb into a new temporary directory, listen on
#                                 127.0.0.1 on a free port; DIR/port and DIR/datadir
#                                 tell the tests where it is
#   pg-test-server.sh stop DIR    stop it and remove its data directory
set -euo pipefail

action=$1
state_dir=$2
pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)

as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_server() {
  [ -f "$state_dir/datadir" ] || return 0
  local data_dir
  data_dir=$(cat "$state_dir/datadir")
  if [ -d "$data_dir" ]; then
    as_server_user "$pg_bin/pg_ctl" -D "$data_dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$data_dir"
  fi
  rm -f "$state_dir/datadir" "$state_dir/port"
}

case "$action" in
  start)
    mkdir -p "$state_dir"
    stop_server
    data_dir=$(mktemp -d /tmp/tavodb-pg.XXXXXX)
    chmod 755 "$data_dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$data_dir"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    as_server_user "$pg_bin/initdb" -D "$data_dir/data" -U postgres --auth=trust -E UTF8 \
      --locale=C.UTF-8 >"$data_dir/initdb.log" 2>&1 || { cat "$data_dir/initdb.log"; exit 1; }
    as_server_user "$pg_bin/pg_ctl" -D "$data_dir/data" -l "$data_dir/server.log" -w -t 60 \
      -o "-p $port -k $data_dir -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200" \
      start >/dev/null || { cat "$data_dir/server.log"; exit 1; }
    echo "$data_dir" >"$state_dir/datadir"
    echo "$port" >"$state_dir/port"
    echo "PostgreSQL listening on 127.0.0.1:$port"
    ;;
  stop)
    stop_server
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
