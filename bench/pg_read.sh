#!/usr/bin/env bash
# Reads a table of 1,000,000 rows through the PostgreSQL provider and, for comparison, with psql's
# \copy; prints rows per second and peak resident memory of both.
# Uses the server named by VNH_TEST_PG_* when set, otherwise starts one of its own.
# Usage: bench/pg_read.sh [rows]   (VNH_BUILD_DIR: build folder, default build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VNH_BUILD_DIR:-$root/build}
rows=${1:-1000000}

cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target pg_read_bench >/dev/null

source "$root/scripts/services.sh"
own_server=0
if [ -z "${VNH_TEST_PG_PORT:-}" ]; then
  own_server=1
  trap stop_services EXIT
  start_postgres >/dev/null
fi

export PGHOST=$VNH_TEST_PG_HOST PGPORT=$VNH_TEST_PG_PORT PGUSER=$VNH_TEST_PG_USER PGPASSWORD=$VNH_TEST_PG_PASSWORD
db=vnh_bench_$$
export VNH_BENCH_PG_DATABASE=$db
psql -q -d postgres -c "create database $db"
cleanup_db() { psql -q -d postgres -c "drop database if exists $db with (force)" || true; }
trap 'cleanup_db; [ "$own_server" = 1 ] && stop_services' EXIT

echo "Building table t with $rows rows ..."
psql -q -d "$db" <<SQL
create table t (id integer primary key, n integer, name varchar(40), note text, amount double precision,
                price numeric(18,6), stamp timestamp, day date, flag boolean, big bigint);
insert into t
select g, g % 1000, 'Name ' || g, case when g % 3 = 0 then null else repeat('n', g % 50) end, g * 1.5,
       g / 7.0, timestamp '2020-01-01' + g * interval '1 minute', date '2020-01-01' + g % 3000, g % 2 = 0,
       g * 1000003::bigint
from generate_series(1, $rows) g;
vacuum analyze t;
SQL
psql -At -d "$db" -c "select 'table size: ' || pg_size_pretty(pg_table_size('t'))"

# Each reader runs several rounds, interleaved, so that a busy machine affects all of them alike.
log=$(mktemp)
for round in $(seq 1 "${VNH_BENCH_ROUNDS:-3}"); do
  echo "round $round"
  "$build/bench/pg_read_bench" t
  "$build/bench/pg_read_bench" --query t
  /usr/bin/time -v psql -q -d "$db" -c "\\copy (select * from t) to '/dev/null'" 2>"$log"
  elapsed=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  seconds=$(echo "$elapsed" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  awk -v r="$rows" -v s="$seconds" -v m="$rss" 'BEGIN {
    printf "psql \\copy to /dev/null: %d rows in %.2f s = %.0f rows/s, peak resident memory %d KiB\n", r, s, r / s, m }'
done
rm -f "$log"
