#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite: once
# plain (warnings as errors), the start-up and settings tests in the second
# product build, once under AddressSanitizer and UBSan, and the threading tests
# under ThreadSanitizer, then a short fuzzing run, the public ONVIF clients and
# the benchmark program (figures in build-tests/plain/benchmarks.txt). The core
# libraries are also built without the widgets.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
jobs=$(nproc)
# Where ccache is installed the builds reuse its objects (same inputs, same
# objects); without it nothing changes.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export QT_QPA_PLATFORM=offscreen
# Line tables only: enough for sanitizer and crash stack traces, a fraction of
# the disk full debug information takes in five builds.
debug_flags=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
export DEVSCAN_DEBUG_FLAGS="-O2 -g1 -DNDEBUG"

# A stage that passed keeps its programs and logs; its object files go, so the
# next build has the disk. Each stage's wall time is printed beside it.
stage_start=$SECONDS
drop_objects() {
    find "$1" -name '*.o' -delete
    stage_end "$1"
}

stage_end() {
    echo "--- $1: $((SECONDS - stage_start)) s; disk $(df -h --output=avail . | tail -1 | tr -d ' ') free"
    stage_start=$SECONDS
}

run_suite() {
    local dir=$1; shift
    local ctest_args=$1; shift
    local -a ctest_argv
    read -r -a ctest_argv <<<"$ctest_args"
    echo "=== $dir: $*"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEVSCAN_WERROR=ON "${launcher[@]}" "${debug_flags[@]}" "$@" >"$dir.configure.log" 2>&1 \
        || { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" "${ctest_argv[@]}")
    drop_objects "$dir"
}

mkdir -p build-tests
echo "--- disk at start: $(df -h --output=avail . | tail -1 | tr -d ' ') free"
# The core libraries alone (device pulls in sdk, app and platform): nothing
# below ui/ may need a widget.
echo "=== build-tests/core: -DDEVSCAN_GUI=OFF (libraries only)"
cmake -S . -B build-tests/core -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEVSCAN_WERROR=ON -DDEVSCAN_GUI=OFF "${launcher[@]}" "${debug_flags[@]}" \
    >build-tests/core.configure.log 2>&1 || { cat build-tests/core.configure.log; exit 1; }
cmake --build build-tests/core -j "$jobs" --target device
drop_objects build-tests/core
run_suite build-tests/plain ""
# The second product build: its title reaches the settings folder and text 0.
run_suite build-tests/bastellon "-R tst_startup|tst_settings" -DDEVSCAN_PRODUCT=Bastellon
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:fast_unwind_on_malloc=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-tests/asan "" -DDEVSCAN_SANITIZE=address,undefined
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp \
    run_suite build-tests/tsan "-L threads" -DDEVSCAN_SANITIZE=thread
# libFuzzer on the readers of device replies and of the shipped files: every
# target at once, 30 s each; a crash, leak or sanitizer report fails the run.
tools/fuzz.sh build-tests/fuzz 30
stage_end build-tests/fuzz
# Public ONVIF clients (pinned, from the npm registry) against the fake device of the plain build.
echo "=== interop: public ONVIF clients"
interop=0
tools/interop.sh build-tests/plain || interop=$?
[ "$interop" = 0 ] || [ "$interop" = 77 ] || exit "$interop"
stage_end interop
# The benchmark program of the plain build, once, beside the npm clients the
# interop step installed: its figures are reported, not asserted. It fails
# the run only when a section found a fault (a crash, a wrong device count, a
# batch that did not end). --quick: one run of each timed step.
echo "=== benchmarks"
bench=0
build-tests/plain/bin/devscan_bench --quick --node-modules "$PWD/build-tests/plain/interop/node_modules" \
    --out build-tests/plain/benchmarks.txt >build-tests/plain/benchmarks.log 2>&1 || bench=$?
cat build-tests/plain/benchmarks.txt || true
stage_end benchmarks
echo "--- whole run: $SECONDS s"
if [ "$bench" != 0 ]; then
    tail -n 60 build-tests/plain/benchmarks.log
    exit "$bench"
fi
