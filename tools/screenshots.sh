#!/usr/bin/env bash
# Renders the main window for customer codes 0, 20, 22, 26, 31, 36, 40, 43 and 45, their
# operation pages, and the search page in six languages under Xvfb and stores
# the pictures in tests/ui/screenshots/ (commit them after a change).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake -S . -B build-screenshots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build-screenshots --target devscan_screenshot
# Pictures of an earlier run may have other names: start afresh.
rm -f tests/ui/screenshots/*.png
sh tests/ui/screenshots.sh build-screenshots/bin tests/ui/screenshots
