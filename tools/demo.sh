#!/usr/bin/env bash
# A demo LAN for anyone without cameras: 50 fake devices (20 of our SDK
# protocol, 15 ONVIF, 15 of the HTTP JSON API) in a private LAN of network
# namespaces (tests/netns/lan.sh), and devscan inside that LAN with its window
# on this display, or under Xvfb when there is none. Closing the window, or
# Ctrl-C, tears the LAN down. Nothing leaves the namespaces. Needs root (it
# asks sudo for it).
#
#   tools/demo.sh [--check] [--bin DIR] [CMAKE_ARGUMENTS...]
#
# Without --bin it installs what is missing and builds in build/ as
# tools/start.sh does. --bin DIR runs the programs already built in DIR.
# --check runs under Xvfb without a user: the window waits until its search
# lists the 50 devices, says so and closes; exit status 0 when its lists show
# exactly the LAN's devices, 1 when they do not or it gave up after a bound. Exit status 77 means "cannot run here" (no root, no namespaces
# or no Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

check=0
bin=""
cmake_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --check) check=1 ;;
        --bin) bin=$2; shift ;;
        *) cmake_args+=("$1") ;;
    esac
    shift
done

SDK=20
ONVIF=15
HTTP=15

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
        exec sudo --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR "$0" --bin "$bin"
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

status=0
sh "$lan" up 1 $((SDK + ONVIF + HTTP)) || status=$?
[ "$status" = 0 ] || exit "$status"

# One program serves the three kinds from 10.213.1.1 on, in that order.
sh "$lan" exec dev1 "$bin/fakedevice" --first 10.213.1.1 --sdk "$SDK" --onvif "$ONVIF" --http "$HTTP" \
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
echo "demo.sh: $SDK SDK devices (10.213.1.1-$SDK), $ONVIF ONVIF, $HTTP HTTP JSON API devices (web port 80)"

if [ "$check" = 1 ]; then
    # The LAN search lists the SDK and HTTP JSON API devices, the ONVIF search the ONVIF ones.
    QT_QPA_PLATFORM=xcb sh "$lan" exec host xvfb-run -a -s "-screen 0 1920x1080x24" \
        "$bin/devscan_democheck" $((SDK + HTTP)) "$ONVIF" >"$work/window.log" || status=$?
    grep -v -E '^(lan|onvif)-device ' "$work/window.log" || true
    if [ "$status" = 0 ]; then
        # Each list shows exactly the devices of its kinds, each once.
        sed -n 's/^device \([0-9.]*\)$/lan-device \1/p; s/^device \([0-9.]*\) onvif$/onvif-device \1/p' "$work/devices.log" \
            | sort >"$work/expected"
        grep -E '^(lan|onvif)-device ' "$work/window.log" | sort >"$work/listed"
        if ! cmp -s "$work/expected" "$work/listed"; then
            echo "demo.sh: the window lists other devices than the LAN has:" >&2
            diff "$work/expected" "$work/listed" >&2 || true
            status=1
        fi
    fi
elif [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    sh "$lan" exec host "$bin/devscan" || status=$?
else
    sh "$lan" exec host xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/devscan" || status=$?
fi
exit "$status"
