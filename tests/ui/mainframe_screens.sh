#!/bin/sh
# Runs the two-screen main-window test on an X server of two screens (Qt 5's
# offscreen platform has one), in a network namespace of its own: the window
# searches the LAN as soon as it opens.
#
#   mainframe_screens.sh TEST_PROGRAM
#
# Exit status 77 means "cannot run here" (skip).
set -eu
[ $# -eq 1 ] || { echo "usage: mainframe_screens.sh TEST_PROGRAM" >&2; exit 2; }
command -v xvfb-run >/dev/null 2>&1 || { echo "mainframe_screens: no xvfb-run; skipping" >&2; exit 77; }
unshare -n true 2>/dev/null || { echo "mainframe_screens: cannot make a network namespace; skipping" >&2; exit 77; }
export QT_QPA_PLATFORM=xcb
exec unshare -n sh -c 'ip link set lo up && exec xvfb-run -a -s "-screen 0 1920x1080x24 -screen 1 1280x1024x24" "$@"' \
    mainframe_screens "$1"
