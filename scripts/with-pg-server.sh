#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL cluster (pg_virtualenv, UTF8, in a temporary
# directory) on a port no other server uses, so parallel runs and a system cluster don't clash.
set -euo pipefail
port_in_use() {
    [ -e "/var/run/postgresql/.s.PGSQL.$1" ] || [ -e "/tmp/.s.PGSQL.$1" ] ||
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}
port=$((54330 + $$ % 500))
while port_in_use "$port"; do
    port=$((port + 1))
done
exec pg_virtualenv -t -c "-p $port" -i "--encoding=UTF8 --locale=C.UTF-8" "$@"
