#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   scripts/test.sh           the CI build (warnings are errors)
#   scripts/test.sh asan      the same suite under AddressSanitizer + UBSan
#   scripts/test.sh tsan      the concurrency tests under ThreadSanitizer
#   scripts/test.sh windows   the 32-bit Windows build, its tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-ci}
if [ "$preset" = windows ]; then
    scripts/install-deps.sh --windows
else
    scripts/install-deps.sh
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
