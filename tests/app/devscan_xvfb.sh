#!/bin/sh
# Starts the program under Xvfb, in a network namespace of its own (it searches
# the LAN as soon as its window opens) and with settings of its own; waits for
# its window titled with text 0, closes it as a window manager would, and
# expects the program to end by itself with exit status 0.
#
#   devscan_xvfb.sh PROGRAM TITLE CLOSE_WINDOW_PY
#
# Exit status 77 means "cannot run here" (skip).
set -eu

if [ "${1:-}" = --inner ]; then
    program=$2 title=$3 closer=$4
    "$program" &
    pid=$!
    if ! python3 "$closer" "$title" 30; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" || true
        exit 1
    fi
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "devscan_xvfb: the program did not end after its window was closed" >&2
        kill -9 "$pid"
        exit 1
    fi
    status=0
    wait "$pid" || status=$?
    echo "devscan_xvfb: the program ended with $status"
    exit "$status"
fi

[ $# -eq 3 ] || { echo "usage: devscan_xvfb.sh PROGRAM TITLE CLOSE_WINDOW_PY" >&2; exit 2; }
command -v xvfb-run >/dev/null 2>&1 || { echo "devscan_xvfb: no xvfb-run; skipping" >&2; exit 77; }
unshare -n true 2>/dev/null || { echo "devscan_xvfb: cannot make a network namespace; skipping" >&2; exit 77; }

settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
export APPDATA="$settings" QT_QPA_PLATFORM=xcb
unshare -n sh -c 'ip link set lo up && exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"' devscan_xvfb \
    sh "$0" --inner "$1" "$2" "$3"
