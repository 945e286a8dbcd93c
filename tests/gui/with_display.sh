#!/usr/bin/env bash
# Runs a command with a display: the one given, or a virtual one of its own.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
