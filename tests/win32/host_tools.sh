#!/usr/bin/env bash
# Prints the folder of the Linux build's quenvara-service,
# quenvara-fingerprint and quenvara-handover, which the Windows tests run
# beside Wine (the reference services, and the Linux results to compare
# with):
# QUENVARA_HOST_BIN if set, else the ci build's bin/ when it has them, else
# a small Linux build of just these in build/windows-host.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
has_tools() { [ -x "$1/quenvara-service" ] && [ -x "$1/quenvara-fingerprint" ] && [ -x "$1/quenvara-handover" ]; }
if [ -n "${QUENVARA_HOST_BIN:-}" ]; then
    has_tools "$QUENVARA_HOST_BIN" || { echo "host_tools: $QUENVARA_HOST_BIN lacks the tools" >&2; exit 1; }
    echo "$QUENVARA_HOST_BIN"
    exit 0
fi
if has_tools "$root/build/ci/bin"; then
    echo "$root/build/ci/bin"
    exit 0
fi
host="$root/build/windows-host"
exec 9>"$host.lock"
flock 9
if ! has_tools "$host/bin"; then
    cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUENVARA_BUILD_TESTS=OFF >&2
    cmake --build "$host" --target quenvara-service quenvara-fingerprint quenvara-handover >&2
fi
echo "$host/bin"
