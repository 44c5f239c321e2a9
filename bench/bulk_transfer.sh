#!/usr/bin/env bash
# Loads one table of 1,000,000 rows (integer key, integer, varchar(40), text with NULLs, double,
# numeric(18,6), timestamp, date, boolean, bigint; fixed seed; dates before 2030, which the
# statement builder writes unchanged) into PostgreSQL in several ways and
# prints, side by side, wall time, rows per second and peak resident memory:
#   1. VNH_Transfer headless, PostgreSQL to PostgreSQL (transaction buffer 100, the program's default)
#   2. a COPY ... TO STDOUT | COPY ... FROM STDIN pipe between the same two databases
#   3. VNH_Transfer headless, SQLite copy of the table to PostgreSQL
#   4. pgloader (Debian package, installed here if missing) from the same SQLite copy
#   5. VNH_Transfer PostgreSQL to PostgreSQL into a target that refuses 1% of the rows, spread over
#      the table, in batches and (6.) with one statement per row (--row-by-row)
# and checks that each target holds what it should (content hash against the source; 5 and 6 give
# the same target and the same error log).
#
#   bench/bulk_transfer.sh [ROWS] [BAD_ROWS]
#
# ROWS defaults to 1000000; BAD_ROWS (default 0) rows of the table are refused by the target in
# runs 1 to 4 as well. The script starts a PostgreSQL server of its own (scripts/services.sh) and
# stops it at the end; VNH_BENCH_USE_SERVER=1 uses the server named by VNH_TEST_PG_* instead.
# VNH_BUILD_DIR: build folder (default build/); VNH_BENCH_BUFFER: transaction buffer (default 100).
set -euo pipefail

rows=${1:-1000000}
bad=${2:-0}
buffer=${VNH_BENCH_BUFFER:-100}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VNH_BUILD_DIR:-$root/build}

"$root/scripts/setup" >/dev/null
if ! command -v pgloader >/dev/null; then
  echo "installing pgloader ..."
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q pgloader >/dev/null ||
    echo "pgloader could not be installed: its run is left out" >&2
fi
echo "building VNH_Transfer in $build ..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target VNH_Transfer >/dev/null
program=$build/src/transfer/VNH_Transfer

# shellcheck source=../scripts/services.sh
source "$root/scripts/services.sh"
own_server=0
if [ "${VNH_BENCH_USE_SERVER:-0}" != 1 ]; then
  start_postgres >/dev/null
  own_server=1
fi
export PGHOST=$VNH_TEST_PG_HOST PGPORT=$VNH_TEST_PG_PORT PGUSER=$VNH_TEST_PG_USER
# The configuration files hold no password: libpq takes it from PGPASSWORD.
export PGPASSWORD=$VNH_TEST_PG_PASSWORD

work=$(mktemp -d)
chmod 755 "$work"
src=vnh_bulk_src_$$
dst=vnh_bulk_dst_$$
cleanup() {
  psql -X -q -d postgres -c "drop database if exists $src with (force)" \
    -c "drop database if exists $dst with (force)" >/dev/null 2>&1 || true
  rm -rf "$work"
  if [ "$own_server" = 1 ]; then stop_services; fi
}
trap cleanup EXIT

sql() { psql -X -q -v ON_ERROR_STOP=1 "$@"; }

columns="ID integer primary key, N integer, Name varchar(40), Note text, Amount double precision,
  Price numeric(18,6), Stamp timestamp, Day date, Flag boolean, Big bigint"
# The rows a target refuses: every period-th key, spread over the table.
refusing_table() {
  local refused=$1
  if [ "$refused" -gt 0 ]; then
    echo "create table VNH_Bench ($columns, check (ID % $((rows / refused)) <> 7))"
  else
    echo "create table VNH_Bench ($columns)"
  fi
}

sql -d postgres -c "create database $src" -c "create database $dst"
echo "building $rows rows ..."
sql -d "$src" <<SQL
create table VNH_Bench ($columns);
select setseed(0.4242) \\g /dev/null
insert into VNH_Bench
select g,
       (random() * 2000000 - 1000000)::int,
       left(md5(random()::text) || md5(random()::text), 8 + (random() * 32)::int),
       case when random() < 0.3 then null
            when g % 1000 = 0 then E'Zeile\t' || g || E'\nmit \\\\ und '' und "'
            else repeat(md5(random()::text), 1 + (random() * 2)::int) end,
       ((random() * 64000000)::int - 32000000) / 64.0,
       round((random() * 1000000)::numeric, 6),
       date_trunc('second', timestamp '1950-01-01' + random() * interval '29000 days'),
       date '1950-01-01' + (random() * 29000)::int,
       random() < 0.5,
       (random() * 9e18)::bigint
from generate_series(1, $rows) g;
vacuum analyze VNH_Bench;
SQL

# The SQLite copy, with NULL kept apart from the empty text and booleans as 0 and 1. The doubles are
# sixty-fourths, whose short decimal texts SQLite reads exactly (longer ones it may round twice).
sql -d "$src" -c "copy (select ID, N, Name, coalesce(Note, E'\\\\N'), Amount, Price, Stamp, Day, Flag::int, Big
                        from VNH_Bench order by ID) to stdout (format csv)" >"$work/bench.csv"
sqlite3 -batch -bail "$work/src.sqlite" <<SQL
create table VNH_Bench (ID integer primary key, N integer, Name varchar(40), Note text,
  Amount double precision, Price numeric(18,6), Stamp timestamp, Day date, Flag boolean, Big bigint);
create temp table staging (ID, N, Name, Note, Amount, Price, Stamp, Day, Flag, Big);
.mode csv
.import $work/bench.csv staging
insert into VNH_Bench select cast(ID as integer), cast(N as integer), Name, nullif(Note, '\\N'),
  cast(Amount as real), Price, Stamp, Day, cast(Flag as integer), cast(Big as integer) from staging;
SQL
rm -f "$work/bench.csv"

write_pg_config() {
  printf '[Korvinconnection]\r\nProviderName=POSTGRESQL\r\nProviderType=POSTGRESQL\r\nServer=%s\r\nPort=%s\r\nDatabase=%s\r\nUsername=%s\r\nPassword=\r\nDirect=0\r\nSchema=public\r\n' \
    "$PGHOST" "$PGPORT" "$2" "$PGUSER" >"$1"
}
write_pg_config "$work/src.vdbcfg" "$src"
write_pg_config "$work/dst.vdbcfg" "$dst"
printf '[Korvinconnection]\r\nProviderName=SQLITE\r\nProviderType=SQLITE\r\nDatabase=%s\r\nDirect=1\r\n' \
  "$work/src.sqlite" >"$work/sqlite.vdbcfg"
printf 'VNH_Bench;+\r\n' >"$work/tables.txt"

# Content of the table as one hash, in key order; rows the target refuses are left out of the source's.
content_hash() { # database, refused rows
  local where="true"
  [ "$2" -gt 0 ] && where="ID % $((rows / $2)) <> 7"
  sql -d "$1" -At -c "select md5(coalesce(string_agg(t::text, E'\n' order by ID), '')) from VNH_Bench t where $where"
}

results=()
# Runs a command under GNU time with a fresh target table; records wall time, peak memory and checks.
measure() { # name, refused rows, command...
  local name=$1 refused=$2
  shift 2
  sql -d "$dst" -c "drop table if exists VNH_Bench" -c "$(refusing_table "$refused")"
  sql -d "$dst" -c "checkpoint" >/dev/null 2>&1 || true
  local status=0
  /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/run.log" 2>&1 || status=$?
  local wall peak loaded expected check
  wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$work/time.txt" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  loaded=$(sql -d "$dst" -At -c "select count(*) from VNH_Bench")
  expected=$((rows - refused))
  if [ "$(content_hash "$dst" 0)" = "$(content_hash "$src" "$refused")" ]; then check="same"; else check="DIFFERENT"; fi
  results+=("$name|$loaded|$expected|$wall|$peak|$check|$status")
  printf '  %-44s %8s s  exit %s  %s rows, content %s\n' "$name" "$wall" "$status" "$loaded" "$check"
  if [ "$loaded" != "$expected" ]; then tail -n 5 "$work/run.log" | sed 's/^/    | /'; fi
}
wall_of() { for r in "${results[@]}"; do [ "${r%%|*}" = "$1" ] && { echo "$r" | cut -d'|' -f4; return; }; done; echo 0; }

common=(--target "$work/dst.vdbcfg" --tables "$work/tables.txt" --buffer "$buffer" --log-dir "$work" --yes)

echo "runs (transaction buffer $buffer):"
rm -f "$work/Transfer_Errors.log"
measure "VNH_Transfer PostgreSQL -> PostgreSQL" "$bad" "$program" --source "$work/src.vdbcfg" "${common[@]}"
measure "COPY pipe PostgreSQL -> PostgreSQL" "$bad" bash -c \
  "psql -X -q -d $src -c 'COPY VNH_Bench TO STDOUT' | psql -X -q -v ON_ERROR_STOP=1 -d $dst -c 'COPY VNH_Bench FROM STDIN'"
measure "VNH_Transfer SQLite -> PostgreSQL" "$bad" "$program" --source "$work/sqlite.vdbcfg" "${common[@]}"
if command -v pgloader >/dev/null; then
  cat >"$work/load.pgl" <<EOF
LOAD DATABASE
  FROM sqlite://$work/src.sqlite
  INTO postgresql://$PGUSER:$PGPASSWORD@$PGHOST:$PGPORT/$dst
  WITH data only, create no tables, create no indexes, reset no sequences;
EOF
  measure "pgloader SQLite -> PostgreSQL" "$bad" pgloader "$work/load.pgl"
fi
one_percent=$((rows / 100))
rm -f "$work/Transfer_Errors.log"
measure "VNH_Transfer, 1% refused, batches" "$one_percent" "$program" --source "$work/src.vdbcfg" "${common[@]}"
batched_log=$(md5sum <"$work/Transfer_Errors.log" 2>/dev/null || echo none)
batched_lines=$(wc -l <"$work/Transfer_Errors.log" 2>/dev/null || echo 0)
batched_target=$(content_hash "$dst" 0)
rm -f "$work/Transfer_Errors.log"
measure "VNH_Transfer, 1% refused, row by row" "$one_percent" "$program" --source "$work/src.vdbcfg" "${common[@]}" --row-by-row
row_log=$(md5sum <"$work/Transfer_Errors.log" 2>/dev/null || echo none)
row_target=$(content_hash "$dst" 0)

echo
printf '%-44s %10s %10s %10s %12s %12s  %s\n' "run ($rows rows)" "in target" "expected" "wall s" "rows/s" "peak RSS MB" "content"
for r in "${results[@]}"; do
  IFS='|' read -r name loaded expected wall peak check status <<<"$r"
  awk -v n="$name" -v l="$loaded" -v e="$expected" -v w="$wall" -v p="$peak" -v c="$check" -v r="$rows" 'BEGIN {
    printf "%-44s %10d %10d %10.2f %12d %12.1f  %s\n", n, l, e, w, (w > 0 ? r / w : 0), p / 1024, c }'
done

echo
ratio() { # label, slower wall, faster wall, goal
  awk -v l="$1" -v a="$2" -v b="$3" -v g="$4" 'BEGIN {
    r = (b > 0 ? a / b : 0)
    printf "%-64s %6.2f  (goal >= %s: %s)\n", l, r, g, (a > 0 && r >= g ? "met" : "NOT met") }'
}
ours_pg=$(wall_of "VNH_Transfer PostgreSQL -> PostgreSQL")
ratio "speed of VNH_Transfer PostgreSQL -> PostgreSQL / COPY pipe" \
  "$(wall_of "COPY pipe PostgreSQL -> PostgreSQL")" "$ours_pg" 0.5
if command -v pgloader >/dev/null; then
  ratio "speed of VNH_Transfer SQLite -> PostgreSQL / pgloader" \
    "$(wall_of "pgloader SQLite -> PostgreSQL")" "$(wall_of "VNH_Transfer SQLite -> PostgreSQL")" 1.5
fi
ratio "speed with 1% refused rows, batches / row by row" \
  "$(wall_of "VNH_Transfer, 1% refused, row by row")" "$(wall_of "VNH_Transfer, 1% refused, batches")" 5
echo "1% refused: $batched_lines log lines; target of batches and row by row $([ "$batched_target" = "$row_target" ] && echo same || echo DIFFERENT), error logs $([ "$batched_log" = "$row_log" ] && echo same || echo DIFFERENT)"
