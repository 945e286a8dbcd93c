#!/usr/bin/env bash
# The dynamic symbol table of each library holds its entry points and
# nothing else: no internal code that a host program could bind to.
set -euo pipefail
status=0
check() {
    local library=$1
    shift
    local expected actual
    expected=$(printf '%s\n' "$@" | sort)
    actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sed 's/@.*//' | sort)
    if [ "$actual" = "$expected" ]; then
        echo "$(basename "$library"): exactly its $# entry points"
    else
        echo "$(basename "$library"): unexpected dynamic symbols" >&2
        diff <(echo "$expected") <(echo "$actual") >&2 || true
        status=1
    fi
}
check "${MF_LIBRARY:?}" L_OrvaneMusicUpload L_OrvaneMusicDownload L_OrvaneMusicIsWMA
check "${WMA_LIBRARY:?}" L_OrvaneWmaInit L_OrvaneWmaSetParams L_OrvaneWmaOpenMemory \
    L_OrvaneWmaGetWaveFormat L_OrvaneWmaReadSamplesInit L_OrvaneWmaReadSamples \
    L_OrvaneWmaClose L_OrvaneWmaRelease L_OrvaneWmaGetTotalPlayTime
exit $status
