#!/usr/bin/env bash
# The ActiveX control under Wine, end to end: regsvr32 registers it, a
# JScript page (cscript) creates it by its ProgID, picks a folder of 20
# files with Korean names through the scripted dialog, sets its values and
# calls RunUploadModule; the control starts QuenvaraUpLoad.exe beside it and
# hands the job over the named pipe, and the Linux build's reference service
# stores every file identical. regsvr32 /u then leaves the registry as it
# was before. Needs CONTROL (the DLL, beside QuenvaraUpLoad.exe) and PAGE.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../scripts/wine-run.sh"
host=$("$here/host_tools.sh")
work=$(mktemp -d)
service=
registered=
failed=
cleanup() {
    [ -n "$registered" ] && "$run" regsvr32 /s /u "$control" 2>/dev/null || true
    [ -n "$service" ] && kill "$service" 2>/dev/null || true
    # An uploader left by a failed run (this test runs alone in its prefix).
    [ -n "$failed" ] && "$run" taskkill /f /im quenvaraupload.exe >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    failed=yes
    echo "FAIL: $*"
    for f in page.out page.err service.log; do
        echo "--- $f"; tr -d '\r' <"$work/$f" 2>/dev/null || true
    done
    exit 1
}
. "$here/e2e_common.sh"
control=$(windows_path "$CONTROL")
clsid='{06C061D8-0D1D-4CC5-BBE7-7B7B98C3893B}'
progid='QUENVARAUPLOADCONTROL.QuenvaraUploadControlCtrl.1'
# What registration adds, key by key, and nothing else: the class (seen
# also through the 32-bit view, Wow6432Node, on a 64-bit system), its
# ProgID, and the two category definitions, which the prefix lacks until a
# control implements them.
class_keys=("" "\\Control" "\\Implemented Categories"
    "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
    "\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"
    "\\InprocServer32" "\\MiscStatus" "\\MiscStatus\\1" "\\ProgID" "\\Version")
expected_keys=(
    "HKEY_CLASSES_ROOT\\$progid"
    "HKEY_CLASSES_ROOT\\$progid\\CLSID"
    "HKEY_CLASSES_ROOT\\Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
    "HKEY_CLASSES_ROOT\\Component Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"
)
for view in "" "Wow6432Node\\"; do
    for key in "${class_keys[@]}"; do
        expected_keys+=("HKEY_CLASSES_ROOT\\${view}CLSID\\$clsid$key")
    done
done
classes() { # the whole of HKEY_CLASSES_ROOT as text, sorted by key
    "$run" reg export HKEY_CLASSES_ROOT "$(windows_path "$1")" /y >/dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' >"$1.txt"
}

# Wine's script host registers its own interfaces the first time it runs
# in a prefix: that happens here, before the registry is looked at.
echo 'WScript.Quit(0);' >"$work/warm-up.js"
"$run" cscript //nologo "$(windows_path "$work/warm-up.js")" >/dev/null 2>&1 || true
# A registration left by an interrupted run would hide what this one adds.
"$run" regsvr32 /s /u "$control" >/dev/null 2>&1 || true
classes "$work/before.reg"
registered=yes
"$run" regsvr32 /s "$control" || fail "regsvr32 failed"
classes "$work/registered.reg"
added=$({ diff "$work/before.reg.txt" "$work/registered.reg.txt" || true; } | sed -n 's/^> \[\(.*\)\]$/\1/p' | sort)
wanted=$(printf '%s\n' "${expected_keys[@]}" | sort)
[ "$added" = "$wanted" ] || fail "registration added other keys than listed:
$(diff <(echo "$wanted") <(echo "$added"))"
grep -qi "\"ThreadingModel\"=\"Apartment\"" "$work/registered.reg.txt" || fail "no apartment threading"
echo "ok   regsvr32 added exactly the listed keys"

folder="$work/files/노래 모음"
make_korean_folder "$folder"
# The second pick: a file, and a link (made here, as Wine follows it) to a
# private file of the same size outside.
mkdir -p "$work/linked" "$work/private"
head -c 1000 /dev/urandom >"$work/linked/a.txt"
head -c 1000 /dev/urandom >"$work/private/secret.txt"
ln -s "$work/private" "$work/linked/link"
{ windows_path "$folder"; windows_path "$work/linked"; } >"$work/answers"
start_service

# The page's control and the uploader it starts share these: their own
# settings and pipes (this test may run beside another uploader), no boxes.
export QUENVARA_UI=headless QUENVARA_CONFIG_DIR=$(windows_path "$work/config")
export QUENVARA_PIPE_DIR=$(windows_path "$work/pipes")
export QUENVARA_DIALOG_ANSWERS=$(windows_path "$work/answers")
# HANDOVER_WINDOW=1: the control hands every message to the uploader's
# window (WM_COPYDATA) instead of its pipe.
export QUENVARA_HANDOVER_WINDOW=${HANDOVER_WINDOW:-}
mkdir -p "$work/pipes"
"$run" cscript //nologo "$(windows_path "$PAGE")" "$port" >"$work/page.out" 2>"$work/page.err" ||
    fail "the page's script failed"
tr -d '\r' <"$work/page.out"

expect_stored_identical "$folder"

"$run" regsvr32 /s /u "$control" || fail "regsvr32 /u failed"
registered=
classes "$work/unregistered.reg"
diff "$work/before.reg.txt" "$work/unregistered.reg.txt" >"$work/left" ||
    fail "regsvr32 /u left the registry changed:
$(cat "$work/left")"
echo "ok   regsvr32 /u removed every key it added"
