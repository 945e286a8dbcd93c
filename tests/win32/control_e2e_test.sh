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
windows_path() { echo "Z:${1//\//\\}"; }
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
mkdir -p "$folder/안쪽"
for i in $(seq 1 17); do
    head -c $((i * 7919 + RANDOM)) /dev/urandom >"$folder/곡 $i.dat"
done
for i in 1 2 3; do head -c $((i * 65536 + 3)) /dev/urandom >"$folder/안쪽/깊은 곡 $i.dat"; done
windows_path "$folder" >"$work/answers"

"$host/quenvara-service" --storage "$work/store" --port-file "$work/port" >"$work/service.log" 2>&1 &
service=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

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

stored=0
for _ in $(seq 600); do
    stored=$(find "$work/store" -type f 2>/dev/null | wc -l)
    [ "$stored" -ge 20 ] && break
    sleep 0.1
done
checked=0
while IFS= read -r -d '' f; do
    # Stored under the group's folder, which stands for the picked folder:
    # the path below that folder, and nothing of the local path above it.
    relative=${f#"$folder/"}
    copy=""
    for _ in $(seq 100); do
        copy=$(find "$work/store" -type f -path "*/folders/grp[0-9]/$relative" | head -n 1)
        [ -n "$copy" ] && cmp -s "$f" "$copy" && break
        sleep 0.1
    done
    [ -n "$copy" ] && cmp -s "$f" "$copy" || fail "not stored identical: $relative"
    checked=$((checked + 1))
done < <(find "$work/files" -type f -print0)
[ "$checked" -eq 20 ] || fail "expected 20 files, checked $checked"
echo "ok   all 20 files stored identical"

"$run" regsvr32 /s /u "$control" || fail "regsvr32 /u failed"
registered=
classes "$work/unregistered.reg"
diff "$work/before.reg.txt" "$work/unregistered.reg.txt" >"$work/left" ||
    fail "regsvr32 /u left the registry changed:
$(cat "$work/left")"
echo "ok   regsvr32 /u removed every key it added"
