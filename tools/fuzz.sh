#!/usr/bin/env bash
# Builds the fuzz targets (clang, -DDEVSCAN_FUZZ=ON) and runs each of them for
# a short while, all at once, on a copy of tests/fuzz/corpus/<target>/.
# Fails on any crash, leak, sanitizer report or time-out; what made a target
# fail is kept under the build folder as <target>-crash-*, -leak-*, -timeout-*.
#   tools/fuzz.sh [BUILD_DIR [SECONDS]]
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
dir=${1:-build-fuzz}
seconds=${2:-30}
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

mkdir -p "$dir"
echo "=== $dir: -DDEVSCAN_FUZZ=ON (libFuzzer, ${seconds} s a target)"
# DEVSCAN_DEBUG_FLAGS (tools/test.sh sets line tables only) overrides the build type's flags.
debug_flags=()
if [ -n "${DEVSCAN_DEBUG_FLAGS:-}" ]; then
    debug_flags=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="$DEVSCAN_DEBUG_FLAGS" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$DEVSCAN_DEBUG_FLAGS")
fi
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEVSCAN_WERROR=ON "${debug_flags[@]}" \
    -DDEVSCAN_GUI=ON -DDEVSCAN_FUZZ=ON "${launcher[@]}" >"$dir/configure.log" 2>&1 \
    || { cat "$dir/configure.log"; exit 1; }
cmake --build "$dir" -j "${JOBS:-$(nproc)}" --target fuzzers

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

runs="$dir/fuzz-runs"
rm -rf "$runs"
mkdir -p "$runs"
pids=()
targets=()
for source in tests/fuzz/fuzz_*.cpp; do
    target=$(basename "$source" .cpp)
    # New inputs go to the run's own folder; the corpus in the repository stays as it is.
    mkdir -p "$runs/$target"
    "$dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$runs/$target-" "$runs/$target" "tests/fuzz/corpus/$target" \
        >"$runs/$target.log" 2>&1 &
    pids+=($!)
    targets+=("$target")
done

failed=0
for i in "${!pids[@]}"; do
    target=${targets[$i]}
    if wait "${pids[$i]}"; then
        echo "$target: $(grep -E '^stat::number_of_executed_units' "$runs/$target.log" | awk '{print $2}') runs, no fault"
    else
        echo "$target: FAILED"
        tail -n 60 "$runs/$target.log"
        failed=1
    fi
done
exit "$failed"
