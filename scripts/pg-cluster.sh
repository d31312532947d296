#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests, in a folder of its own, reached only by its Unix
# socket there (no TCP port). Run by an unprivileged user: as root, the postgres account runs it.
#   pg-cluster.sh start DIR   prints the socket folder on success
#   pg-cluster.sh stop DIR    stops the server and removes DIR, whatever state it is in
#   pg-cluster.sh pause DIR   stops the server, its sessions ended, keeping its data (an outage)
#   pg-cluster.sh resume DIR  starts it again on the same data, as a new process
set -u
what=${1:?start or stop}; dir=${2:?folder}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bin" ] || { echo "no PostgreSQL server installed (Debian package postgresql)" >&2; exit 1; }
as=()
if [ "$(id -u)" = 0 ]; then
    id postgres >/dev/null 2>&1 || { echo "running as root, and there is no postgres account" >&2; exit 1; }
    as=(runuser -u postgres --)
fi
case $what in
start)
    set -e
    mkdir -p "$dir"
    [ ${#as[@]} = 0 ] || chown postgres "$dir"
    "${as[@]}" "$bin/initdb" -D "$dir/data" -U kavro -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    # Nothing here needs to survive a crash: no fsync, small and fast.
    "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses= -c unix_socket_directories=$dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300" \
        start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    echo "$dir"
    ;;
pause)
    # Fast, not immediate: the cluster's commits do not wait for the log (synchronous_commit=off),
    # and an immediate stop would drop the last of them.
    "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    ;;
resume)
    "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses= -c unix_socket_directories=$dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300" \
        start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    ;;
stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
        "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: pg-cluster.sh start|stop|pause|resume DIR" >&2; exit 2 ;;
esac
