#!/bin/sh
# Renders the main window of customer codes 0, 20 and 43, and the search page
# in Japanese (code 20), Traditional Chinese (1), German (2), Russian (6),
# Korean (18) and Simplified Chinese (13),
# at 1920x1080 under Xvfb into OUTPUT_DIR (customer-N[-LANGUAGE].png,
# -about.png, -message.png; the languages also -min.png at the window's
# minimum size). The program searches the LAN as it starts, so each run gets a
# network namespace of its own. Exit status 77 means "cannot run here" (skip).
#
#   screenshots.sh BIN_DIR OUTPUT_DIR
set -eu
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null 2>&1 || { echo "screenshots.sh: xvfb-run not found; skipping" >&2; exit 77; }
mkdir -p "$out"
status=0
for run in 0 20 43 "20 JAPAN_KELM.xml" "1 CHT.xml" "2 GER.xml" "6 RUS_GH.xml" "18 KOR_T_MU.xml" "13 CHS.xml"; do
    # shellcheck disable=SC2086 # a run is a code and an optional language file
    set -- $run
    QT_QPA_PLATFORM=xcb sh "$here/../netns/isolated.sh" \
        xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/devscan_screenshot" "$1" "$out" ${2:+"$2"} || status=$?
    [ "$status" = 77 ] && exit 77
done
exit $status
