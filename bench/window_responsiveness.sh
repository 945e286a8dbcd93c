#!/usr/bin/env bash
# How long the window goes without repainting while a folder of 999 files is
# handed over and sent: runs the GUI test's "many" scenario a few times on
# the default build and prints the late refreshes it saw (target: none
# longer than 0.1 s beyond the 0.1 s refresh period).
#   bench/window_responsiveness.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset default --target QuenvaraUpLoad quenvara-service quenvara-handover >/dev/null
for _ in $(seq "${1:-3}"); do
    python3 tests/gui/gui_upload_test.py build/default many | grep '^late refreshes'
done
