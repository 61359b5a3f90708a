#!/bin/sh
# A throw-away PostgreSQL server for the tests and benchmarks that need one.
#
#   pg-test-server.sh start DIR   makes a fresh cluster in DIR/data and starts
#                                 it, listening only on the Unix socket in DIR
#   pg-test-server.sh stop DIR    stops it (at once) and removes DIR
#   pg-test-server.sh halt DIR    stops it at once, as a crash would, keeping its data
#   pg-test-server.sh resume DIR  starts a halted server again
#
# No TCP port is opened, so parallel runs on one machine never meet. The
# server refuses to run as root, so when run as root (as CI does) it runs as
# an unprivileged user (VTRPRO_TEST_PG_OS_USER, default "nobody") that owns
# DIR. Connect with host=DIR user=vtrpro_test (trusted, no password).
set -eu

usage() {
    echo "usage: $0 start|stop|halt|resume DIR" >&2
    exit 2
}

[ $# -eq 2 ] || usage
action=$1
dir=$2
role=vtrpro_test

bindir=
for candidate in /usr/lib/postgresql/*/bin; do
    [ -x "$candidate/initdb" ] && bindir=$candidate
done
if [ -z "$bindir" ]; then
    initdb_path=$(command -v initdb || true)
    [ -n "$initdb_path" ] && bindir=$(dirname "$initdb_path")
fi
if [ -z "$bindir" ]; then
    echo "$0: initdb not found: install the postgresql package" >&2
    exit 1
fi

# Runs a server program as the user that owns the cluster.
as_owner() {
    # The server programs want a working folder their user may enter.
    cd "$dir" 2>/dev/null || cd /
    if [ "$(id -u)" -eq 0 ]; then
        os_user=${VTRPRO_TEST_PG_OS_USER:-nobody}
        if command -v runuser >/dev/null 2>&1; then
            runuser -u "$os_user" -- "$@"
        else
            setpriv --reuid="$os_user" --regid="$(id -g "$os_user")" --clear-groups -- "$@"
        fi
    else
        "$@"
    fi
}

stop_server() {
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
}

case "$action" in
start)
    # A server left over from an interrupted run is stopped and replaced.
    stop_server
    rm -rf "$dir"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    if [ "$(id -u)" -eq 0 ]; then
        chown "${VTRPRO_TEST_PG_OS_USER:-nobody}" "$dir"
        # The unprivileged owner must reach its folder.
        parent=$(dirname "$dir")
        while [ "$parent" != / ]; do
            chmod o+x "$parent" 2>/dev/null || true
            parent=$(dirname "$parent")
        done
    fi
    cd "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U "$role" -A trust -E UTF8 --locale=C.UTF-8 --no-sync \
        >"$dir/initdb.log" 2>&1 || {
        cat "$dir/initdb.log" >&2
        exit 1
    }
    # fsync off keeps them quick; commits still reach the system before they
    # are acknowledged, so a server halted as by a crash keeps them.
    cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
fsync = off
full_page_writes = off
max_connections = 60
EOF
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null || {
        cat "$dir/server.log" >&2
        exit 1
    }
    echo "host=$dir user=$role"
    ;;
halt)
    stop_server
    ;;
resume)
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null || {
        cat "$dir/server.log" >&2
        exit 1
    }
    ;;
stop)
    [ -d "$dir" ] || exit 0
    stop_server
    rm -rf "$dir"
    ;;
*)
    usage
    ;;
esac
