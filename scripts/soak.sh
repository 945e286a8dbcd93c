#!/usr/bin/env bash
# Stress run of the transfer engine, by hand (not in CI): every upload hands
# over a folder, breaks one random file of the group at a random offset and
# meets a random fault on the retry; every stored file is compared with its
# original and the counts are printed.
#   scripts/soak.sh [UPLOADS] [SEED]     (default 100 uploads, a random seed)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target upload_soak >/dev/null
build/default/bin/upload_soak "${1:-100}" ${2:+"$2"}
