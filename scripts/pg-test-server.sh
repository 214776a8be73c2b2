# Sourced by ./test: a throwaway PostgreSQL cluster on a free loopback port, run as the postgres
# user from a temporary folder, stopped (and removed) when the tests end.
kv_pg_start() {
    local bindir
    bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    [ -x "$bindir/initdb" ] || { echo "PostgreSQL server binaries not found" >&2; return 1; }
    KV_PG_DIR=$(mktemp -d /tmp/kvpg.XXXXXX)
    local run=()
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres:postgres "$KV_PG_DIR"
        run=(runuser -u postgres --)
    fi
    KV_PG_PORT=""
    local p i
    for i in $(seq 1 100); do
        p=$((20000 + RANDOM % 40000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then KV_PG_PORT=$p; break; fi
    done
    [ -n "$KV_PG_PORT" ] || { echo "no free loopback port for PostgreSQL" >&2; return 1; }
    "${run[@]}" "$bindir/initdb" -D "$KV_PG_DIR/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >/dev/null || return 1
    "${run[@]}" "$bindir/pg_ctl" -D "$KV_PG_DIR/data" -l "$KV_PG_DIR/log" -w \
        -o "-c listen_addresses=127.0.0.1 -p $KV_PG_PORT -k $KV_PG_DIR -c fsync=off -c max_connections=200" start >/dev/null || {
        cat "$KV_PG_DIR/log" >&2
        return 1
    }
    KV_PG_CTL=("${run[@]}" "$bindir/pg_ctl" -D "$KV_PG_DIR/data")
    export KV_TEST_PG="host=127.0.0.1 port=$KV_PG_PORT user=postgres dbname=postgres"
    export KV_TEST_PG_CTL="${KV_PG_CTL[*]}"
    echo "PostgreSQL test server on 127.0.0.1:$KV_PG_PORT"
}

kv_pg_stop() {
    [ -n "${KV_PG_DIR:-}" ] || return 0
    "${KV_PG_CTL[@]}" -m immediate stop >/dev/null 2>&1
    rm -rf "$KV_PG_DIR"
    KV_PG_DIR=""
}
