# A real PostgreSQL 15 server for the line's tests, in a folder of the test's own: initdb
# there, listening on a Unix socket in that folder, passwords required (SCRAM), the
# line's schema applied, a station role per station and a reader; also on a free port of
# 127.0.0.1, without TLS. Run as root, the server
# runs as the unprivileged "postgres" user (it refuses root). Source this file, then:
#   line_server_start DIR   # exports PGHOST, PGPORT, PGDATABASE, PGPASSFILE for the tests
#   line_server_stop DIR | line_server_pause DIR | line_server_resume DIR
#   line_sql ROLE "SQL"     # psql as ROLE (postgres, station1..3, reader)
# The tests' server does not flush to disk (fsync off: nothing it holds outlives the test);
# KZB_LINE_FSYNC=on gives a server as a line runs it, for the benchmarks.
kLineBin=/usr/lib/postgresql/15/bin
kLineSchema=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/packaging/line-schema.sql

line_as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

line_sql() {
  local role=$1; shift
  psql -X -q -v ON_ERROR_STOP=1 -At -U "$role" -d "${PGDATABASE:-kzb7310}" -c "$1"
}

line_server_start() {
  local dir=$1
  [ -x "$kLineBin/initdb" ] || { echo "line-server: no PostgreSQL 15 server in $kLineBin" >&2; return 1; }
  mkdir -p "$dir/server"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/server" && chmod 755 "$dir"
  echo "super-secret" >"$dir/server/pw"
  line_as_server_user "$kLineBin/initdb" -D "$dir/server/data" -U postgres -A scram-sha-256 \
    --pwfile="$dir/server/pw" -E UTF8 --locale=C.UTF-8 >"$dir/server/initdb.log" 2>&1 ||
    { cat "$dir/server/initdb.log" >&2; return 1; }
  # A free port on the loopback address too, for the TLS cases (a Unix socket has no TLS).
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  export PGHOST=$dir/server PGPORT=$port PGDATABASE=kzb7310 PGPASSFILE=$dir/pgpass
  line_server_resume "$dir" || return 1
  {
    echo "*:$PGPORT:*:postgres:super-secret"
    for role in station1 station2 station3 reader nobody; do echo "*:$PGPORT:*:$role:pw-$role"; done
  } >"$PGPASSFILE"
  chmod 600 "$PGPASSFILE"
  psql -X -q -v ON_ERROR_STOP=1 -U postgres -d postgres -c "CREATE DATABASE kzb7310" || return 1
  psql -X -q -v ON_ERROR_STOP=1 -U postgres -d kzb7310 -f "$kLineSchema" || return 1
  local role
  for role in station1 station2 station3; do
    line_sql postgres "CREATE ROLE $role LOGIN PASSWORD 'pw-$role' IN ROLE kzb_station" || return 1
  done
  line_sql postgres "CREATE ROLE reader LOGIN PASSWORD 'pw-reader' IN ROLE kzb_reader" &&
    line_sql postgres "CREATE ROLE nobody LOGIN PASSWORD 'pw-nobody'"
}

line_server_resume() {
  line_as_server_user "$kLineBin/pg_ctl" -D "$1/server/data" -w -l "$1/server/log" \
    -o "-p $PGPORT -c listen_addresses=127.0.0.1 -c unix_socket_directories='$1/server' -c fsync=${KZB_LINE_FSYNC:-off}" \
    start >/dev/null
}

line_server_pause() {
  line_as_server_user "$kLineBin/pg_ctl" -D "$1/server/data" -w -m fast stop >/dev/null
}

line_server_stop() {
  [ -d "$1/server/data" ] && line_server_pause "$1" 2>/dev/null || true
}
