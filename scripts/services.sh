# Database servers of our own for tests, demos and benchmarks: each in a temporary folder on a free
# port. Source this file, then call start_postgres / start_mariadb; stop_services ends them.
# Exports VNH_TEST_PG_{HOST,PORT,USER,PASSWORD} and VNH_TEST_MYSQL_{HOST,PORT,USER,PASSWORD,SOCKET}.

VNH_SERVICES_DIR=${VNH_SERVICES_DIR:-}
VNH_PG_BIN=${VNH_PG_BIN:-/usr/lib/postgresql/15/bin}

_vnh_services_dir() {
  if [ -z "$VNH_SERVICES_DIR" ]; then
    VNH_SERVICES_DIR=$(mktemp -d /tmp/vnh-services.XXXXXX)
    chmod 755 "$VNH_SERVICES_DIR"
  fi
}

_vnh_port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

_vnh_free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$(( 20000 + RANDOM % 30000 ))
    if _vnh_port_free "$port"; then echo "$port"; return 0; fi
  done
  return 1
}

# Runs a command as the postgres user when we are root (PostgreSQL refuses to run as root).
_vnh_as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

start_postgres() {
  _vnh_services_dir
  local dir="$VNH_SERVICES_DIR/pg"
  export VNH_TEST_PG_HOST=127.0.0.1
  export VNH_TEST_PG_USER=postgres
  export VNH_TEST_PG_PASSWORD=vnh-test-pw
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
  printf '%s\n' "$VNH_TEST_PG_PASSWORD" > "$VNH_SERVICES_DIR/pgpw"
  chmod 644 "$VNH_SERVICES_DIR/pgpw"
  _vnh_as_pg "$VNH_PG_BIN/initdb" -D "$dir/data" -U postgres --pwfile="$VNH_SERVICES_DIR/pgpw" \
    --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log"; return 1; }
  local port
  for _ in 1 2 3 4 5; do
    port=$(_vnh_free_port) || return 1
    if _vnh_as_pg "$VNH_PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
        start >/dev/null 2>&1; then
      export VNH_TEST_PG_PORT=$port
      export VNH_TEST_PG_SOCKET_DIR=$dir
      echo "PostgreSQL on 127.0.0.1:$port ($dir)"
      return 0
    fi
  done
  cat "$dir/server.log"
  return 1
}

stop_postgres() {
  [ -n "$VNH_SERVICES_DIR" ] && [ -d "$VNH_SERVICES_DIR/pg/data" ] || return 0
  _vnh_as_pg "$VNH_PG_BIN/pg_ctl" -D "$VNH_SERVICES_DIR/pg/data" -m immediate stop >/dev/null 2>&1 || true
}

# MariaDB for the MySQL tests. The test user's password holds ";", "{", "}" and "=" so that the
# quoting of connection strings is proven against a real login.
start_mariadb() {
  _vnh_services_dir
  local dir="$VNH_SERVICES_DIR/mariadb"
  local asroot=()
  [ "$(id -u)" -eq 0 ] && asroot=(--user=root)
  mkdir -p "$dir"
  mariadb-install-db --no-defaults --datadir="$dir/data" "${asroot[@]}" --skip-test-db \
    --auth-root-authentication-method=socket >"$dir/install.log" 2>&1 \
    || { cat "$dir/install.log"; return 1; }
  local port
  for _ in 1 2 3 4 5; do
    port=$(_vnh_free_port) || return 1
    mariadbd --no-defaults --datadir="$dir/data" "${asroot[@]}" --port="$port" \
      --bind-address=127.0.0.1 --socket="$dir/sock" --pid-file="$dir/mariadbd.pid" \
      --log-error="$dir/server.log" --skip-name-resolve --innodb-buffer-pool-size=64M \
      --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci >"$dir/stdout.log" 2>&1 &
    local pid=$!
    for _ in $(seq 1 100); do
      [ -S "$dir/sock" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -S "$dir/sock" ]; then
      export VNH_TEST_MYSQL_HOST=127.0.0.1
      export VNH_TEST_MYSQL_PORT=$port
      export VNH_TEST_MYSQL_USER=vnh_test
      export VNH_TEST_MYSQL_PASSWORD='vnh;pw{x}=1'
      export VNH_TEST_MYSQL_SOCKET=$dir/sock
      mariadb --no-defaults --socket="$dir/sock" -u "$(id -un)" <<SQL || { cat "$dir/server.log"; return 1; }
CREATE USER 'vnh_test'@'%' IDENTIFIED BY 'vnh;pw{x}=1';
CREATE USER 'vnh_test'@'localhost' IDENTIFIED BY 'vnh;pw{x}=1';
GRANT ALL PRIVILEGES ON *.* TO 'vnh_test'@'%' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'vnh_test'@'localhost' WITH GRANT OPTION;
SQL
      echo "MariaDB on 127.0.0.1:$port ($dir)"
      return 0
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  cat "$dir/server.log"
  return 1
}

stop_mariadb() {
  [ -n "$VNH_SERVICES_DIR" ] && [ -f "$VNH_SERVICES_DIR/mariadb/mariadbd.pid" ] || return 0
  local pid
  pid=$(cat "$VNH_SERVICES_DIR/mariadb/mariadbd.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

stop_services() {
  stop_postgres
  declare -F stop_mariadb >/dev/null && stop_mariadb
  [ -n "$VNH_SERVICES_DIR" ] && rm -rf "$VNH_SERVICES_DIR"
  return 0
}

# Prints the exported variables as shell assignments, for a second shell to source.
print_service_env() {
  local v
  for v in $(compgen -e | grep -E '^VNH_TEST_'); do printf 'export %s=%q\n' "$v" "${!v}"; done
}
