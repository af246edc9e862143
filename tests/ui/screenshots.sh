#!/bin/sh
# Renders the main window of customer codes 0, 20 and 43 at 1920x1080 under
# Xvfb into OUTPUT_DIR (customer-N.png, -about.png, -message.png), and the
# upgrade, import/export and Excel pages with 20 devices at that size and at
# the window's minimum size (customer-N-PAGE-full.png, -min.png). The program
# searches the LAN as it starts, so each run gets a network namespace of its
# own. Exit status 77 means "cannot run here" (skip).
#
#   screenshots.sh BIN_DIR OUTPUT_DIR
set -eu
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null 2>&1 || { echo "screenshots.sh: xvfb-run not found; skipping" >&2; exit 77; }
mkdir -p "$out"
status=0
for code in 0 20 43; do
    QT_QPA_PLATFORM=xcb sh "$here/../netns/isolated.sh" \
        xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/devscan_screenshot" "$code" "$out" || status=$?
    [ "$status" = 77 ] && exit 77
done
exit $status
