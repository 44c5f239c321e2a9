#!/usr/bin/env bash
# Speed and memory of a headless PostgreSQL-to-PostgreSQL transfer of one table with the usual column
# kinds, beside a plain COPY pipe between the same two databases.
#
#   bench/transfer_pg.sh [ROWS]          (default 1000000)
#
# Uses the server named by VNH_TEST_PG_* when set, otherwise starts one of its own through
# scripts/services.sh. VNH_TRANSFER names the program (default build/src/transfer/VNH_Transfer),
# VNH_BENCH_BUFFER the transaction buffer (default 100, the program's default).
# The peak resident memory should not grow with the number of rows: compare 200000 with 1000000.
set -euo pipefail

rows=${1:-1000000}
buffer=${VNH_BENCH_BUFFER:-100}
root=$(cd "$(dirname "$0")/.." && pwd)
program=${VNH_TRANSFER:-$root/build/src/transfer/VNH_Transfer}
[ -x "$program" ] || { echo "no program at $program (build it or set VNH_TRANSFER)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }

own_server=0
if [ -z "${VNH_TEST_PG_PORT:-}" ]; then
  # shellcheck source=../scripts/services.sh
  source "$root/scripts/services.sh"
  start_postgres >/dev/null
  own_server=1
fi
export PGHOST=$VNH_TEST_PG_HOST PGPORT=$VNH_TEST_PG_PORT PGUSER=$VNH_TEST_PG_USER
# The configuration files below hold no password: libpq takes it from PGPASSWORD.
export PGPASSWORD=$VNH_TEST_PG_PASSWORD

work=$(mktemp -d)
src=vnh_bench_src_$$
dst=vnh_bench_dst_$$
cleanup() {
  psql -X -q -d postgres -c "drop database if exists $src with (force)" \
    -c "drop database if exists $dst with (force)" >/dev/null 2>&1 || true
  rm -rf "$work"
  if [ "$own_server" = 1 ]; then stop_services; fi
}
trap cleanup EXIT

sql() { psql -X -q -v ON_ERROR_STOP=1 "$@"; }

table_ddl="create table VNH_Bench (ID integer primary key, I integer, S varchar(50), T text,
  D double precision, N numeric(12,4), TS timestamp, DT date, B boolean, BI bigint)"

sql -d postgres -c "create database $src" -c "create database $dst"
sql -d "$dst" -c "$table_ddl"
echo "building $rows rows in $src ..."
sql -d "$src" <<SQL
$table_ddl;
select setseed(0.42);
insert into VNH_Bench
select g,
       (random() * 2000000000 - 1000000000)::int,
       'Zeile ' || g,
       case when random() < 0.3 then null else repeat(md5(random()::text), 1 + (random() * 3)::int) end,
       random() * 1000000 - 500000,
       round((random() * 10000000)::numeric, 4),
       date_trunc('second', timestamp '1950-01-01' + random() * interval '29000 days'),
       date '1900-01-01' + (random() * 47000)::int,
       random() < 0.5,
       (random() * 9e18)::bigint
from generate_series(1, $rows) g;
SQL

write_config() {
  printf '[Korvinconnection]\r\nProviderName=POSTGRESQL\r\nProviderType=POSTGRESQL\r\nServer=%s\r\nPort=%s\r\nDatabase=%s\r\nUsername=%s\r\nPassword=\r\nDirect=0\r\nSchema=public\r\n' \
    "$PGHOST" "$PGPORT" "$2" "$PGUSER" > "$1"
}
write_config "$work/src.vdbcfg" "$src"
write_config "$work/dst.vdbcfg" "$dst"
printf 'VNH_Bench;+\r\n' > "$work/tables.txt"

# Wall time in seconds from GNU time's "h:mm:ss" or "m:ss.ss".
wall_seconds() {
  sed -n 's/.*Elapsed (wall clock) time.*: //p' "$1" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'
}
peak_mb() {
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$1" | awk '{ printf "%.1f", $1 / 1024 }'
}
cpu_seconds() {
  sed -n -e 's/.*User time (seconds): //p' -e 's/.*System time (seconds): //p' "$1" | awk '{ s += $1 } END { print s }'
}
rate() { awk -v r="$1" -v s="$2" 'BEGIN { printf "%d", (s > 0 ? r / s : 0) }'; }

echo "transfer with VNH_Transfer (buffer $buffer) ..."
status=0
/usr/bin/time -v -o "$work/time.txt" "$program" --source "$work/src.vdbcfg" --target "$work/dst.vdbcfg" \
  --tables "$work/tables.txt" --buffer "$buffer" --log-dir "$work" --yes > "$work/transfer.log" 2>&1 || status=$?
tail -n 3 "$work/transfer.log"
copied=$(sql -d "$dst" -At -c "select count(*) from VNH_Bench")
transfer_wall=$(wall_seconds "$work/time.txt")
transfer_peak=$(peak_mb "$work/time.txt")
transfer_cpu=$(cpu_seconds "$work/time.txt")

echo "COPY pipe ..."
sql -d "$dst" -c "truncate VNH_Bench"
/usr/bin/time -v -o "$work/copy-time.txt" bash -c \
  "psql -X -q -d $src -c 'COPY VNH_Bench TO STDOUT' | psql -X -q -v ON_ERROR_STOP=1 -d $dst -c 'COPY VNH_Bench FROM STDIN'"
piped=$(sql -d "$dst" -At -c "select count(*) from VNH_Bench")
copy_wall=$(wall_seconds "$work/copy-time.txt")

echo
echo "rows: $rows"
printf 'VNH_Transfer: exit %s, %s rows in the target, wall %s s, %s rows/s, peak RSS %s MB, CPU %s s\n' \
  "$status" "$copied" "$transfer_wall" "$(rate "$rows" "$transfer_wall")" "$transfer_peak" "$transfer_cpu"
printf 'COPY pipe:    %s rows in the target, wall %s s, %s rows/s\n' \
  "$piped" "$copy_wall" "$(rate "$rows" "$copy_wall")"
[ "$status" = 0 ] && [ "$copied" = "$rows" ]
