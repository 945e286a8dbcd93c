#!/usr/bin/env bash
# The ActiveX control under Wine, end to end: regsvr32 registers it, a
# JScript page (cscript) creates it by its ProgID, picks a folder of 20
# files with Korean names through the scripted dialog, sets its values and
# calls RunUploadModule; the control starts QuenvaraUpLoad.exe beside it and
# hands the job over the named pipe, and the Linux build's reference service
# stores every file identical. regsvr32 /u then leaves the registry as it
# was before. Needs CONTROL (the DLL, beside QuenvaraUpLoad.exe) and PAGE.
#
# With SETUP (the installer) instead of CONTROL, the installer does the
# registering (/S) and the page runs the installed control and uploader.
# It checks, besides the above: the files in the install folder, the Start
# menu entry, the class pointing at the installed control, both browsers'
# native messaging host keys naming the installed manifest, and the
# installed host answering a frame (binary-safe) started with the
# extension's origin, the installed uploader closing by itself, the
# uninstaller refusing (status 2, nothing taken) while an uploader runs;
# after the uninstaller (/S): no file of ours in the install folder or the
# Start menu, HKEY_CLASSES_ROOT as before, and no key under
# HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE that was not there before.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../scripts/wine-run.sh"
host=$("$here/host_tools.sh")
work=$(mktemp -d)
service=
registered=
failed=
cleanup() {
    [ -n "$registered" ] && unregister >/dev/null 2>&1 || true
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

keys_of() { # the key names under ROOT, sorted
    "$run" reg export "$1" "$(windows_path "$2")" /y >/dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$2" | tr -d '\r' | sed -n 's/^\[\(.*\)\]$/\1/p' | sort >"$2.keys"
}
unix_path() { "$run" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvara'
host_name=com.quenvara.control_host
if [ -n "${SETUP:-}" ]; then
    installed_folder() {
        "$run" reg query "$uninstall_key" /v InstallLocation /reg:32 2>/dev/null |
            tr -d '\r' | sed -n 's/^ *InstallLocation *REG_SZ *//p' || true
    }
    register() { "$run" "$(windows_path "$SETUP")" /S; }
    # The uninstaller copies itself aside and returns at once: its work is
    # done when the folder is gone.
    unregister() {
        local left
        left=$(unix_path "$install_dir")
        "$run" "$install_dir\uninstall.exe" /S || return 1
        for _ in $(seq 300); do [ -e "$left" ] || return 0; sleep 0.2; done
        return 1
    }
else
    control=$(windows_path "$CONTROL")
    register() { "$run" regsvr32 /s "$control"; }
    unregister() { "$run" regsvr32 /s /u "$control"; }
fi

# Wine's script host registers its own interfaces the first time it runs
# in a prefix: that happens here, before the registry is looked at.
echo 'WScript.Quit(0);' >"$work/warm-up.js"
"$run" cscript //nologo "$(windows_path "$work/warm-up.js")" >/dev/null 2>&1 || true
# A registration left by an interrupted run would hide what this one adds.
if [ -n "${SETUP:-}" ]; then
    install_dir=$(installed_folder)
    [ -z "$install_dir" ] || unregister >/dev/null 2>&1 || true
    keys_of HKEY_CURRENT_USER "$work/user-before.reg"
    keys_of HKEY_LOCAL_MACHINE "$work/machine-before.reg"
else
    unregister >/dev/null 2>&1 || true
fi
classes "$work/before.reg"
registered=yes
register || fail "registering failed"
classes "$work/registered.reg"
added=$({ diff "$work/before.reg.txt" "$work/registered.reg.txt" || true; } | sed -n 's/^> \[\(.*\)\]$/\1/p' | sort)
wanted=$(printf '%s\n' "${expected_keys[@]}" | sort)
[ "$added" = "$wanted" ] || fail "registration added other keys than listed:
$(diff <(echo "$wanted") <(echo "$added"))"
grep -qi "\"ThreadingModel\"=\"Apartment\"" "$work/registered.reg.txt" || fail "no apartment threading"
echo "ok   regsvr32 added exactly the listed keys"

if [ -n "${SETUP:-}" ]; then
    install_dir=$(installed_folder)
    installed=$(unix_path "$install_dir")
    [ -n "$install_dir" ] && [ -d "$installed" ] || fail "no install folder in $uninstall_key"
    for f in QuenvaraUpLoad.exe QuenvaraMF.dll QuenvaraUploadControl.dll quenvara-control-host.exe \
        "$host_name.json" browser-extension/manifest.json uninstall.exe; do
        [ -f "$installed/$f" ] || fail "not installed: $f"
    done
    echo "ok   the programs, the host's manifest and the extension are in $install_dir"
    # A .reg file writes each backslash twice.
    grep -qiF "$(printf '%s' "$install_dir\QuenvaraUploadControl.dll" | sed 's/\\/\\\\/g')" \
        "$work/registered.reg.txt" ||
        fail "the class does not point at the installed control"
    echo "ok   the class points at the installed control"
    menu=$(unix_path "$("$run" cmd /c echo %APPDATA% | tr -d '\r')")
    [ -f "$menu/Microsoft/Windows/Start Menu/Programs/퀜바라 파일 올리기.lnk" ] ||
        fail "no Start menu entry"
    echo "ok   the Start menu entry \"퀜바라 파일 올리기\""
    for browser in 'Google\Chrome' 'Microsoft\Edge'; do
        key="HKCU\\Software\\$browser\\NativeMessagingHosts\\$host_name"
        manifest=$("$run" reg query "$key" 2>/dev/null | tr -d '\r' | LC_ALL=C sed -n 's/^.*REG_SZ *//p' || true)
        [ "$manifest" = "$install_dir\\$host_name.json" ] || fail "$key names '$manifest'"
    done
    echo "ok   Chrome's and Edge's host keys name the installed manifest"
    # The host as Chrome starts it: the manifest's path (beside the manifest)
    # and the extension's origin, one frame in, one answer out.
    answer=$(/usr/bin/python3 - "$run" "$installed" "$install_dir" "$host_name" <<'PY'
import json, struct, subprocess, sys
run, folder, install_dir, name = sys.argv[1:]
manifest = json.load(open("%s/%s.json" % (folder, name)))
# Its length (0x11A) holds the byte that ends a text-mode stream and its
# padding line ends that text mode would change: only a binary stream
# carries the frame whole.
head, tail = b'{"id":7,', b'"member":"IsOpenSelectDlg"}'
body = head + b"\r\n" * 100 + b" " * (0x11A - len(head) - len(tail) - 200) + tail
host = subprocess.run([run, install_dir + "\\" + manifest["path"], manifest["allowed_origins"][0]],
                      input=struct.pack("<I", len(body)) + body, capture_output=True, timeout=120)
(length,) = struct.unpack("<I", host.stdout[:4])
print(json.dumps(json.loads(host.stdout[4:4 + length])))
PY
    ) || fail "the installed host did not answer"
    [ "$answer" = '{"id": 7, "result": false}' ] || fail "the installed host answered $answer"
    echo "ok   the installed host answers a frame: $answer"
fi

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

if [ -n "${SETUP:-}" ]; then
    # The installed uploader closes by itself (AutoEnd) once its files are
    # sent; until then the uninstaller would find its program in use.
    running() { pgrep -f 'Quenvara\\QuenvaraUpLoad.exe' >/dev/null; }
    running || fail "the installed uploader is not seen running after the hand-over"
    for _ in $(seq 300); do running || break; sleep 0.2; done
    ! running || fail "the installed uploader did not close by itself"
    echo "ok   the installed uploader closed by itself"
    # While an uploader runs, the uninstaller refuses (status 2, silently)
    # and leaves everything in place. _?= runs it in place, to its end; the
    # folder follows unquoted (Wine quotes no word without a space).
    "$run" "$install_dir\QuenvaraUpLoad.exe" >"$work/own.out" 2>&1 &
    own=$!
    for _ in $(seq 100); do grep -q "waiting for hand-over" "$work/own.out" && break; sleep 0.1; done
    status=0
    # shellcheck disable=SC2046
    "$run" "$install_dir\uninstall.exe" /S $(echo "_?=$install_dir") || status=$?
    [ "$status" -eq 2 ] && [ -f "$installed/QuenvaraUpLoad.exe" ] && [ -n "$(installed_folder)" ] ||
        fail "the uninstaller did not refuse while the uploader ran (status $status)"
    kill "$own"
    wait "$own" 2>/dev/null || true
    echo "ok   the uninstaller refuses while the uploader runs"
fi
unregister || fail "unregistering failed: $(find "${installed:-/nonexistent}" 2>/dev/null | head -n 5)"
registered=
classes "$work/unregistered.reg"
diff "$work/before.reg.txt" "$work/unregistered.reg.txt" >"$work/left" ||
    fail "unregistering left the classes changed:
$(cat "$work/left")"
echo "ok   unregistering removed every class key registering added"
if [ -n "${SETUP:-}" ]; then
    [ ! -e "$installed" ] || fail "the uninstaller left $(find "$installed" | head -n 5)"
    [ ! -e "$menu/Microsoft/Windows/Start Menu/Programs/퀜바라 파일 올리기.lnk" ] ||
        fail "the uninstaller left the Start menu entry"
    for root in user:HKEY_CURRENT_USER machine:HKEY_LOCAL_MACHINE; do
        keys_of "${root#*:}" "$work/${root%%:*}-after.reg"
        left=$(comm -13 "$work/${root%%:*}-before.reg.keys" "$work/${root%%:*}-after.reg.keys")
        [ -z "$left" ] || fail "the uninstaller left keys in ${root#*:}:
$left"
    done
    echo "ok   the uninstaller left no file, no Start menu entry and no key of ours"
fi
