#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: ctest's emulator for the
# windows preset. One Wine prefix per build folder (QUENVARA_WINEPREFIX, else
# build/windows/wineprefix), made on first use or by --prepare; its
# wineserver is kept alive between tests so each start is quick. Loader errors are shown, Wine's
# other chatter is not.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${QUENVARA_WINEPREFIX:-$here/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all,err+module}
# No Mono or Gecko download prompts: nothing here needs them. No menu
# entries of the host's desktop for shortcuts made in the prefix (an
# installer's Start menu entry stays in the prefix).
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
export WINEARCH=win64
if [ ! -e "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Two runs may race to make the prefix: one makes it, the other waits.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
        wineboot --init </dev/null >/dev/null 2>&1 || true
        wineserver --wait || true
    fi
    flock -u 9
fi
# `wine-run.sh --prepare`: only make the prefix (at configure time).
[ "${1:-}" = "--prepare" ] && exit 0
# The server, and Wine's own background programs (services, the desktop)
# that the first program of a server starts, are started here with their
# output closed: started by a test program they would hold the caller's
# pipes open for as long as they live. A server's socket sits in a folder
# named after the prefix's device and inode.
server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
if ! compgen -G "/tmp/wine-*/$server/socket" >/dev/null &&
    ! compgen -G "/tmp/.wine-$(id -u)/$server/socket" >/dev/null; then
    wineserver --persistent=300 </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
# A Korean Windows, as the tools are made for: the ANSI code page is 949.
exec env LC_ALL="${QUENVARA_WINE_LOCALE:-ko_KR.UTF-8}" wine "$@"
