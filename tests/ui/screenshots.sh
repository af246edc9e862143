#!/bin/sh
# Renders the main window of customer codes 0, 20, 26, 31 and 43 under Xvfb
# (1920x1080) into OUTPUT_DIR: customer-N-SIZE-search.png, -locked.png and
# -range.png at 1920x1080 and at the window's minimum size, and -about.png and
# -message.png. The program searches the LAN as it starts, so each run gets a
# network namespace of its own. Exit status 77 means "cannot run here" (skip).
#
#   screenshots.sh BIN_DIR OUTPUT_DIR [CODE...]
set -eu
bin=$1
out=$2
shift 2
codes=${*:-0 20 26 31 43}
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null 2>&1 || { echo "screenshots.sh: xvfb-run not found; skipping" >&2; exit 77; }
mkdir -p "$out"
status=0
for code in $codes; do
    result=0
    QT_QPA_PLATFORM=xcb sh "$here/../netns/isolated.sh" \
        xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/devscan_screenshot" "$code" "$out" || result=$?
    [ "$result" = 77 ] && exit 77
    [ "$result" = 0 ] || status=$result
done
exit $status
