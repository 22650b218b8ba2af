#!/usr/bin/env bash
# Runs a test program next to a throwaway PostgreSQL cluster on the loopback, handed over as
# QUORVEL_TEST_PG; the cluster is stopped and removed however the program ends.
# Usage: with-postgres.sh PROGRAM [ARGS...]
set -euo pipefail

bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "with-postgres: PostgreSQL server programs not found (package postgresql)" >&2
    exit 1
fi

dir="$(mktemp -d /tmp/quorvel-pg.XXXXXX)"
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    as=(runuser -u postgres --)
fi
stop() {
    "${as[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
}
trap stop EXIT

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
"${as[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U quorvel -E UTF8 >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
"${as[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null ||
    { echo "with-postgres: the server did not start" >&2; cat "$dir/server.log" >&2; exit 1; }

QUORVEL_TEST_PG="postgresql://quorvel@127.0.0.1:$port/postgres" "$@"
