#!/bin/sh
# Runs the login page's screenshot test under Xvfb at 1920x1080 in a network
# namespace of its own. Exit status 77 means "cannot run here" (skip).
#
#   loginscreenshots.sh TEST_BINARY
set -eu
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null 2>&1 || { echo "loginscreenshots.sh: xvfb-run not found; skipping" >&2; exit 77; }
exec sh "$here/../netns/isolated.sh" xvfb-run -a -s "-screen 0 1920x1080x24" "$1"
