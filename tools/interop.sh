#!/usr/bin/env bash
# Public ONVIF clients against the fake ONVIF device, in a LAN of network
# namespaces (tests/netns/lan.sh): the npm "onvif" package's camera session
# (connect, clock, device information, network interfaces read and set) over
# plain HTTP with the UsernameToken, with HTTP Digest on top, and over HTTPS on
# port 8443; a wrong password refused; node-onvif's discovery listing every
# device. The clients are pinned and come from the npm registry.
#
#   tools/interop.sh [BUILD_DIR]     (default build-tests/plain; needs its bin/fakeonvif)
#
# Exit status: 0 when every step succeeded, 77 when namespaces cannot be made here.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-tests/plain}
fake=$PWD/$build/bin/fakeonvif
[ -x "$fake" ] || { echo "interop: $fake not built" >&2; exit 1; }
command -v node >/dev/null && command -v npm >/dev/null || { echo "interop: node and npm are needed" >&2; exit 1; }

work=$PWD/$build/interop
mkdir -p "$work"
npm install --prefix "$work" --no-save --no-audit --no-fund --ignore-scripts --loglevel=error \
    onvif@0.8.3 node-onvif@0.1.7 >/dev/null
export NODE_PATH=$work/node_modules
clients=$PWD/tools/interop/onvif-clients.js

# A LAN of our own: the gc of lan.sh knows the prefix.
export DEVSCAN_LAN_PREFIX=dsl$$
lan=tests/netns/lan.sh
per=50
status=0
"$lan" up 3 "$per" || status=$?
[ "$status" = 0 ] || exit "$status"
pids=()
cleanup()
{
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    "$lan" down
}
trap cleanup EXIT

address()
{
    local n=$1 # 0-based, as lan.sh counts
    echo "10.213.$((1 + n / 250)).$((1 + n % 250))"
}

# dev1: plain HTTP with the UsernameToken; dev2: HTTP Digest as well; dev3: HTTPS on 8443 with both.
start()
{
    local ns=$1 first=$2
    shift 2
    "$lan" exec "$ns" "$fake" --first "$first" --count "$per" --prefix 16 --multicast --seconds 600 "$@" \
        >"$work/$ns.out" 2>"$work/$ns.err" &
    pids+=($!)
}
start dev1 "$(address 0)"
start dev2 "$(address $per)" --web-port 8081 --digest
start dev3 "$(address $((2 * per)))" --web-port 8443 --https --digest
for ns in dev1 dev2 dev3; do
    for _ in $(seq 300); do
        grep -q '^ready' "$work/$ns.out" 2>/dev/null && break
        [ -s "$work/$ns.err" ] && break
        sleep 0.1
    done
    grep -q '^ready' "$work/$ns.out" || { echo "interop: $ns did not start:" >&2; cat "$work/$ns.err" >&2; exit 1; }
done

run()
{
    echo "--- $1 ${*:2:3}"
    "$lan" exec host node "$clients" "$@" || status=1
}
http=$(address 1)
digest=$(address $((per + 1)))
https=$(address $((2 * per + 1)))
run session "$http" 8080 admin admin123 "$http/16"
run session "$digest" 8081 admin admin123 "$digest/16"
run session "$https" 8443 admin admin123 "$https/16" https
run refused "$http" 8080 admin wrong-password
run refused "$digest" 8081 admin wrong-password
run refused "$https" 8443 admin wrong-password https
expected=()
for n in $(seq 0 $((3 * per - 1))); do
    expected+=("$(address "$n")")
done
run discover "${expected[@]}"
[ "$status" = 0 ] && echo "interop: every call succeeded" || echo "interop: FAILED" >&2
exit "$status"
