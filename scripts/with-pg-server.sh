#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL cluster (pg_virtualenv, UTF8, in a temporary
# directory) on a port no other server uses, so parallel runs and a system cluster don't clash.
set -euo pipefail
port_in_use() {
    [ -e "/var/run/postgresql/.s.PGSQL.$1" ] || [ -e "/tmp/.s.PGSQL.$1" ] ||
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}
# The system hands the ports of its ephemeral range to outgoing connections, and one that holds
# the chosen port makes the server's bind fail although nothing listens there: choose below it.
low=32768
read -r low _ </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || true
if [ "$low" -gt 11000 ]; then base=$((low - 3000)); else base=54330; fi
port=$((base + $$ % 500))
# The command touches a marker as it starts: without it, the cluster did not start (a port
# taken meanwhile), and another port is tried.
marker="$(mktemp -u)"
rc=1
for attempt in 1 2 3; do
    while port_in_use "$port"; do
        port=$((port + 1))
    done
    set +e
    pg_virtualenv -t -c "-p $port" -i "--encoding=UTF8 --locale=C.UTF-8" \
        bash -c 'touch "$0" && exec "$@"' "$marker" "$@"
    rc=$?
    set -e
    if [ -e "$marker" ]; then
        rm -f "$marker"
        exit "$rc"
    fi
    echo "with-pg-server: no cluster started on port $port (attempt $attempt)" >&2
    port=$((port + 1))
done
exit "$rc"
