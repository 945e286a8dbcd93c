#!/usr/bin/env bash
# Builds the Windows installer from the windows build (cross-built with
# MinGW-w64, made with Debian's makensis):
#   build/package-windows/quenvara-setup-<version>.exe
# It installs into Program Files, registers the web-page control, adds the
# Start menu entry and the browser bridge's host for Chrome and Edge; its
# uninstaller takes all of it away. /S runs either without questions.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target quenvara_setup
out=build/package-windows
mkdir -p "$out"
setup=$(ls build/windows/package/quenvara-setup-*.exe)
cp "$setup" "$out/"
echo "package-windows: $out/$(basename "$setup")"
