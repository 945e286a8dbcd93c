#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   scripts/test.sh           the CI build (warnings are errors)
#   scripts/test.sh asan      the same suite under AddressSanitizer + UBSan
#   scripts/test.sh tsan      the concurrency tests under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-ci}
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
