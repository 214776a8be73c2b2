#!/usr/bin/env bash
# Times kverp at the large sizes on SQLite and on a throwaway PostgreSQL server:
#   bench/kverp-sizes.sh [BIN_DIR]          default build/release/bin (./run builds it)
# Sizes: 1,000,000 price rows, 100,000 clients, 50,000 articles (override with KVERP_SIZES).
set -euo pipefail
KV_ROOT=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$KV_ROOT/build/release/bin}
sizes=${KVERP_SIZES:---price-rows 1000000 --clients 100000 --articles 50000}
source "$KV_ROOT/scripts/pg-test-server.sh"

work=$(mktemp -d /tmp/kverp-bench.XXXXXX)
trap 'kv_pg_stop; rm -rf "$work"' EXIT

run() { # label, kverp arguments...
    local label=$1; shift
    local start end
    start=$(date +%s.%N)
    "$bin/kverp" init "$@" $sizes >/dev/null 2>"$work/progress"
    end=$(date +%s.%N)
    printf '%-12s %6.1f s   %s\n' "$label" "$(echo "$end - $start" | bc)" \
        "$(grep -E 'MA_PRECIOS: [0-9]+ rows \(|VT_CLIENTES: [0-9]+ rows \(' "$work/progress" | sed 's/kverp: //' | tr '\n' ' ')"
}

echo "kverp init $sizes"
run sqlite --sqlite "$work/erp.db"
kv_pg_start >/dev/null
psql=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)/psql
"$psql" -q "$KV_TEST_PG" -c "CREATE DATABASE kverp_bench"
run postgresql --pg "${KV_TEST_PG/dbname=postgres/dbname=kverp_bench}"
