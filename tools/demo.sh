#!/usr/bin/env bash
# A demo LAN for anyone without cameras: 51 fake devices (20 of our SDK
# protocol, 15 ONVIF, 16 of the HTTP JSON API, the last with no password yet)
# in a private LAN of network namespaces (tests/netns/lan.sh), and devscan
# inside that LAN with its window on this display, or under Xvfb when there is
# none. Closing the window, or Ctrl-C, tears the LAN down. Nothing leaves the
# namespaces. Needs root (it asks sudo for it).
#
#   tools/demo.sh [--check] [--company N] [--bin DIR] [CMAKE_ARGUMENTS...]
#
# Without --bin it installs what is missing and builds in build/ as
# tools/start.sh does. --bin DIR runs the programs already built in DIR.
# --company N starts the window as customer N with a settings folder of its
# own (the shipped config.xml with that code), removed with the LAN. Without
# it the program reads the settings of the user it runs as (root).
# The devices take the default login of the settings the window reads, so no
# page needs it typed. Any address of the LAN's network but the host's is the
# device namespace's own: a device moved to another address stays reachable.
# --check runs under Xvfb without a user: the window waits until its search
# lists the devices (codes 43 and 44: the range search from 10.213.1.1 to the
# last device, and the operation pages list them too), says so and closes;
# exit status 0 when its lists show exactly the devices they should and a
# free address of the LAN reaches the device namespace, 1 when not or when it
# gave up after a bound. Exit status 77 means "cannot run here" (no root, no
# namespaces or no Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

check=0
bin=""
company=""
cmake_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --check) check=1 ;;
        --bin) bin=$2; shift ;;
        --company)
            company=${2:-}
            case "$company" in '' | *[!0-9]*) echo "demo.sh: --company needs a number" >&2; exit 2 ;; esac
            shift
            ;;
        *) cmake_args+=("$1") ;;
    esac
    shift
done

SDK=20
ONVIF=15
HTTP=16
# The last HTTP JSON API devices that have no password yet.
NEW_HTTP=1

if [ -z "$bin" ]; then
    tools/install-deps.sh
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cmake_args[@]}"
    cmake --build build --target devscan fakedevice_server devscan_democheck
    bin=$root/build/bin
fi
bin=$(cd "$bin" && pwd)

if [ "$(id -u)" != 0 ]; then
    if [ "$check" = 0 ] && command -v sudo >/dev/null 2>&1; then
        # Keep the display's variables: the window goes to this user's screen.
        if [ -n "${DISPLAY:-}" ] && [ -z "${XAUTHORITY:-}" ] && [ -f "$HOME/.Xauthority" ]; then
            export XAUTHORITY=$HOME/.Xauthority
        fi
        exec sudo --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR "$0" --bin "$bin" \
            ${company:+--company "$company"}
    fi
    echo "demo.sh: needs root for the network namespaces; skipping" >&2
    exit 77
fi
if [ "$check" = 1 ] || { [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; }; then
    command -v xvfb-run >/dev/null 2>&1 || { echo "demo.sh: xvfb-run not found; skipping" >&2; exit 77; }
fi

# A LAN of our own: lan.sh gc removes it should this script be killed outright.
export DEVSCAN_LAN_PREFIX="dsl$$"
lan=$root/tests/netns/lan.sh
work=$(mktemp -d)
devices_pid=""
teardown()
{
    trap - EXIT INT TERM
    if [ -n "$devices_pid" ]; then
        kill "$devices_pid" 2>/dev/null || true
        wait "$devices_pid" 2>/dev/null || true
    fi
    sh "$lan" down >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap teardown EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The settings the window reads: with --company a folder of its own, else the
# user's, which the program fills from the shipped file on its first start.
title=$(grep -a -o -m1 -E '(Quelvar|Bastellon) IP Scanner' "$bin/devscan" | head -n 1 || true)
title=${title:-Quelvar IP Scanner}
if [ -n "$company" ]; then
    export APPDATA=$work/settings
    mkdir -p "$APPDATA/$title"
    sed "s|<Company>[^<]*</Company>|<Company>$company</Company>|" "$bin/config.xml" >"$APPDATA/$title/config.xml"
fi
settings="${APPDATA:-${XDG_CONFIG_HOME:-$HOME/.config}}/$title/config.xml"
[ -f "$settings" ] || settings=$bin/config.xml
code=${company:-$(sed -n 's|.*<Company>[[:space:]]*\([0-9]*\)[[:space:]]*</Company>.*|\1|p' "$settings" | head -n 1)}
code=${code:-0}
# The settings' default login, which every page starts with.
user=tolvi
case "$code" in
    4) password=58203147 ;;
    8) password=315926 ;;
    40) password=6093721k ;;
    *) password=tolvi ;;
esac

status=0
sh "$lan" up 1 $((SDK + ONVIF + HTTP)) || status=$?
[ "$status" = 0 ] || exit "$status"
# Every address of 10.213.0.0/16 but the host's is local to the device
# namespace: a device moved to any of them still answers there.
sh "$lan" exec dev1 ip route add local 10.213.0.0/16 dev lo table local
sh "$lan" exec dev1 ip route add 10.213.0.1/32 dev eth0 table local

# One program serves the three kinds from 10.213.1.1 on, in that order.
sh "$lan" exec dev1 "$bin/fakedevice" --first 10.213.1.1 --sdk "$SDK" --onvif "$ONVIF" --http "$HTTP" \
    --new-http "$NEW_HTTP" --user "$user" --password "$password" \
    --broadcast --multicast >"$work/devices.log" 2>&1 &
devices_pid=$!
# Until every device listens (or the program gave up).
for _ in $(seq 600); do
    grep -qx ready "$work/devices.log" && break
    kill -0 "$devices_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -qx ready "$work/devices.log"; then
    echo "demo.sh: the fake devices did not start:" >&2
    cat "$work/devices.log" >&2
    exit 1
fi
echo "demo.sh: $SDK SDK devices (10.213.1.1-$SDK), $ONVIF ONVIF, $HTTP HTTP JSON API devices (web port 80," \
    "the last $NEW_HTTP with no password yet); user $user, password $password; customer code $code"

if [ "$check" = 1 ]; then
    last=10.213.1.$((SDK + ONVIF + HTTP))
    case "$code" in
        43 | 44)
            # No LAN search: the range search lists the HTTP JSON API devices.
            QT_QPA_PLATFORM=xcb sh "$lan" exec host xvfb-run -a -s "-screen 0 1920x1080x24" \
                "$bin/devscan_democheck" "$HTTP" 0 "$code" 10.213.1.1 "$last" >"$work/window.log" || status=$?
            for n in $(seq $((SDK + ONVIF + 1)) $((SDK + ONVIF + HTTP))); do
                echo "range-device 10.213.1.$n"
            done | sort >"$work/expected"
            ;;
        *)
            # The LAN search lists the SDK and HTTP JSON API devices, the ONVIF search the ONVIF ones.
            QT_QPA_PLATFORM=xcb sh "$lan" exec host xvfb-run -a -s "-screen 0 1920x1080x24" \
                "$bin/devscan_democheck" $((SDK + HTTP)) "$ONVIF" "$code" >"$work/window.log" || status=$?
            sed -n 's/^device \([0-9.]*\)$/lan-device \1/p; s/^device \([0-9.]*\) onvif$/onvif-device \1/p' \
                "$work/devices.log" | sort >"$work/expected"
            ;;
    esac
    grep -v -E '^(lan|onvif|range)-device ' "$work/window.log" || true
    if [ "$status" = 0 ]; then
        # Each list shows exactly the devices of its kinds, each once.
        grep -E '^(lan|onvif|range)-device ' "$work/window.log" | sort >"$work/listed"
        if ! cmp -s "$work/expected" "$work/listed"; then
            echo "demo.sh: the window lists other devices than the LAN has:" >&2
            diff "$work/expected" "$work/listed" >&2 || true
            status=1
        fi
    fi
    # An address no device holds, taken in the device namespace, is reached from the host's.
    free=10.213.200.1
    sh "$lan" exec dev1 python3 -c '
import socket, sys
server = socket.socket()
server.bind((sys.argv[1], 7070))
server.listen(1)
server.settimeout(30)
peer, _ = server.accept()
peer.sendall(b"moved\n")
peer.close()' "$free" &
    listener=$!
    reached=""
    for _ in $(seq 100); do
        reached=$(sh "$lan" exec host python3 -c '
import socket, sys
try:
    print(socket.create_connection((sys.argv[1], 7070), timeout=2).recv(16).decode().strip())
except OSError:
    pass' "$free")
        [ "$reached" = moved ] && break
        sleep 0.1
    done
    kill "$listener" 2>/dev/null || true
    wait "$listener" 2>/dev/null || true
    if [ "$reached" = moved ]; then
        echo "demo.sh: a free address of the LAN ($free) reaches the devices' namespace"
    else
        echo "demo.sh: a free address of the LAN ($free) does not reach the devices' namespace" >&2
        status=1
    fi
elif [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    sh "$lan" exec host "$bin/devscan" || status=$?
else
    sh "$lan" exec host xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/devscan" || status=$?
fi
exit "$status"
