#!/bin/sh
# Renders the main window of customer codes 0, 20, 22, 26, 31, 36, 40, 43 and 45 under Xvfb
# (1920x1080) into OUTPUT_DIR: customer-N-SIZE-search.png, -locked.png and
# -range.png at 1920x1080 and at the window's minimum size, -about.png and
# -message.png, and customer-N-PAGE-full.png and -min.png for each operation
# page the customer has (upgrade, import/export, Excel, reboot, change-device,
# device information, restore defaults, initialise, change password, stream,
# on-screen display), and -defaults.png, the restore-defaults group dialog.
# Then the search page in Japanese (code 20), Traditional Chinese (1), German
# (2), Russian (6), Korean (18) and Simplified Chinese (13):
# customer-N-LANGUAGE-SIZE-search.png, the other pages checked at the minimum
# size. The program searches the LAN as it starts, so each run gets a network
# namespace of its own. Exit status 77 means "cannot run here" (skip).
#
#   screenshots.sh BIN_DIR OUTPUT_DIR [RUN...]    (a run: "CODE [LANGUAGE_FILE]")
set -eu
bin=$1
out=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null 2>&1 || { echo "screenshots.sh: xvfb-run not found; skipping" >&2; exit 77; }
mkdir -p "$out"
[ $# -gt 0 ] || set -- 0 20 22 26 31 36 40 43 45 "20 JAPAN_KELM.xml" "1 CHT.xml" "2 GER.xml" "6 RUS_GH.xml" "18 KOR_T_MU.xml" \
    "13 CHS.xml"
# The runs are independent (each has its own settings folder, namespace and X
# server), so up to four run at once; each X server gets a display number of its
# own, and each run's output is printed whole once it has ended.
jobs=$(nproc 2>/dev/null || echo 1)
[ "$jobs" -le 4 ] || jobs=4
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
display() {
    n=$((200 + $1 % 20))
    while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 20)); done
    echo "$n"
}
status=0
finish() {
    for index in $running; do
        result=0
        wait "$(cat "$logs/$index.pid")" || result=$?
        cat "$logs/$index.log"
        [ "$result" = 77 ] && exit 77
        [ "$result" = 0 ] || status=$result
    done
    running=""
}
running=""
count=0
index=0
for run in "$@"; do
    index=$((index + 1))
    # shellcheck disable=SC2086 # a run is a code and an optional language file
    set -- $run
    QT_QPA_PLATFORM=xcb sh "$here/../netns/isolated.sh" \
        xvfb-run -n "$(display "$index")" -s "-screen 0 1920x1080x24" "$bin/devscan_screenshot" "$1" "$out" ${2:+"$2"} \
        >"$logs/$index.log" 2>&1 &
    echo $! >"$logs/$index.pid"
    running="$running $index"
    count=$((count + 1))
    if [ "$count" -ge "$jobs" ]; then
        finish
        count=0
    fi
done
finish
exit $status
