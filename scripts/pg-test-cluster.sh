#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: initdb in a temporary
# directory, listening on a Unix socket in that directory only (no TCP),
# trust authentication, fsync off. Run as root, the server runs as the
# unprivileged user `nobody`.
#
#   scripts/pg-test-cluster.sh start     start it (prints the export line of `env`)
#   scripts/pg-test-cluster.sh env       print: export APPMGR_TEST_PG='host=... dbname=... user=...'
#   scripts/pg-test-cluster.sh restart   restart it (same socket, same data)
#   scripts/pg-test-cluster.sh stop      stop it and remove its directory
#
# The directory of the running cluster is kept in a state file, by default
# .pg-test-cluster at the top of the work tree (APPMGR_PG_STATE overrides),
# so that several work trees on one machine each have their own server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
state="${APPMGR_PG_STATE:-$root/.pg-test-cluster}"
database=appmgr_test
superuser=appmgr

bindir() {
  local dir
  for dir in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -rV); do
    if [ -x "$dir/initdb" ]; then
      echo "$dir"
      return
    fi
  done
  echo "pg-test-cluster: no PostgreSQL server found (install Debian's postgresql package)" >&2
  exit 1
}

# Runs a command as the server's user.
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u nobody -- "$@"
  else
    "$@"
  fi
}

cluster_dir() {
  [ -f "$state" ] && cat "$state" || true
}

print_env() {
  local dir
  dir="$(cluster_dir)"
  if [ -z "$dir" ] || [ ! -d "$dir/data" ]; then
    echo "pg-test-cluster: no cluster is running (state file $state)" >&2
    exit 1
  fi
  echo "export APPMGR_TEST_PG='host=$dir/socket dbname=$database user=$superuser'"
}

start() {
  local dir bin
  dir="$(cluster_dir)"
  if [ -n "$dir" ] && [ -d "$dir/data" ]; then
    echo "pg-test-cluster: already running in $dir" >&2
    print_env
    return
  fi
  bin="$(bindir)"
  dir="$(mktemp -d "${TMPDIR:-/tmp}/appmgr-pg.XXXXXX")"
  # The socket directory must be reachable by the clients (root or the
  # calling user); the data directory stays private to the server.
  chmod 755 "$dir"
  mkdir -m 700 "$dir/data"
  mkdir -m 755 "$dir/socket"
  touch "$dir/server.log"
  if [ "$(id -u)" -eq 0 ]; then chown nobody: "$dir/data" "$dir/socket" "$dir/server.log"; fi
  echo "$dir" >"$state"

  as_server "$bin/initdb" -D "$dir/data" -U "$superuser" --auth=trust --encoding=UTF8 --no-locale \
    --no-instructions >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    exit 1
  }
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir/socket'
unix_socket_permissions = 0777
max_connections = 200
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
  # -w waits until the server accepts connections.
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null || {
    cat "$dir/server.log" >&2
    exit 1
  }
  "$bin/createdb" -h "$dir/socket" -U "$superuser" "$database"
  echo "pg-test-cluster: started in $dir" >&2
  print_env
}

restart() {
  local dir
  dir="$(cluster_dir)"
  [ -n "$dir" ] && [ -d "$dir/data" ] || {
    echo "pg-test-cluster: no cluster is running" >&2
    exit 1
  }
  as_server "$(bindir)/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -m fast restart >/dev/null
}

stop() {
  local dir
  dir="$(cluster_dir)"
  if [ -z "$dir" ]; then
    echo "pg-test-cluster: no cluster is running" >&2
    return
  fi
  if [ -d "$dir/data" ]; then
    as_server "$(bindir)/pg_ctl" -D "$dir/data" -w -t 60 -m fast stop >/dev/null 2>&1 || true
  fi
  case "$dir" in
    */appmgr-pg.*) rm -rf "$dir" ;;
  esac
  rm -f "$state"
  echo "pg-test-cluster: stopped" >&2
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  restart) restart ;;
  env) print_env ;;
  *)
    echo "usage: $0 start|stop|restart|env" >&2
    exit 2
    ;;
esac
