#!/usr/bin/env bash
# A throw-away PostgreSQL cluster on loopback for the server's tests.
#   scripts/test-postgres.sh start   initialises and starts it; prints its URI
#   scripts/test-postgres.sh stop    stops it and deletes its files
#   scripts/test-postgres.sh uri     prints the URI of the running cluster
# The cluster lives in $ZUVO_PG_DIR (default /tmp/zuvo-test-pg-$UID), listens on
# 127.0.0.1 only, trusts local connections and keeps no data worth a sync.
# initdb refuses to run as root, so as root the cluster runs as "postgres"
# (created by Debian's postgresql package).
set -euo pipefail

PGBIN=${PGBIN:-/usr/lib/postgresql/15/bin}
DIR=${ZUVO_PG_DIR:-/tmp/zuvo-test-pg-$(id -u)}
DATA=$DIR/data

as_owner() {
    if [[ $(id -u) -eq 0 ]]; then
        runuser -u "$OWNER" -- "$@"
    else
        "$@"
    fi
}

OWNER=$(id -un)
if [[ $(id -u) -eq 0 ]]; then
    OWNER=postgres
    if ! id "$OWNER" >/dev/null 2>&1; then
        useradd --system --no-create-home --shell /usr/sbin/nologin "$OWNER"
    fi
fi

# A port from `from` on that nobody answers on. Another program may still hold
# it bound without listening, or take it before the cluster does: start retries.
free_port() {
    local p
    for p in $(seq "${1:-55432}" 55631); do
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            echo "$p"
            return 0
        fi
    done
    echo "no free port between 55432 and 55631" >&2
    return 1
}

stop() {
    if [[ -f $DATA/postmaster.pid ]]; then
        as_owner "$PGBIN/pg_ctl" -D "$DATA" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$DIR"
}

case "${1:-}" in
start)
    [[ -x $PGBIN/initdb ]] || { echo "PostgreSQL server binaries not found in $PGBIN" >&2; exit 1; }
    stop
    mkdir -p "$DIR"
    chmod 700 "$DIR"
    [[ $(id -u) -eq 0 ]] && chown "$OWNER" "$DIR"
    as_owner "$PGBIN/initdb" -D "$DATA" -A trust -U postgres -E UTF8 --no-sync >"$DIR/initdb.log" 2>&1 ||
        { cat "$DIR/initdb.log" >&2; exit 1; }
    # Tests need no durability; ZUVO_PG_DURABLE=1 keeps it (for benchmarks).
    fast="-c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    [[ ${ZUVO_PG_DURABLE:-0} == 1 ]] && fast=""
    port=55431
    for _ in 1 2 3 4 5 6 7 8; do
        port=$(free_port $((port + 1)))
        if as_owner "$PGBIN/pg_ctl" -D "$DATA" -l "$DIR/server.log" -w -t 60 \
            -o "-c listen_addresses=127.0.0.1 -p $port -k $DIR $fast -c max_connections=400" \
            start >/dev/null; then
            port_ok=1
            break
        fi
        grep -q "Address already in use" "$DIR/server.log" || break
        port_ok=0
    done
    [[ ${port_ok:-0} == 1 ]] || { cat "$DIR/server.log" >&2; exit 1; }
    echo "postgresql://postgres@127.0.0.1:$port/postgres" >"$DIR/uri"
    cat "$DIR/uri"
    ;;
stop)
    stop
    ;;
uri)
    cat "$DIR/uri"
    ;;
*)
    echo "usage: $0 start|stop|uri" >&2
    exit 2
    ;;
esac
