#!/usr/bin/env bash
# The Windows uploader under Wine, end to end: it serves its named pipe
# (\\.\pipe\quenvaraupload.exe), a second start says it is already running,
# quenvara-handover.exe hands it a folder of 20 files with Korean names over
# the pipe, and the Linux build's reference service stores every file
# identical; then the uploader closes by itself.
# Needs UPLOADER and HANDOVER (the Windows build's).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../scripts/wine-run.sh"
host=$("$here/host_tools.sh")
work=$(mktemp -d)
service=
uploader=
cleanup() {
    [ -n "$uploader" ] && kill "$uploader" 2>/dev/null || true
    [ -n "$service" ] && kill "$service" 2>/dev/null || true
    [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    echo "--- uploader"; tr -d '\r' <"$work/out" || true; tr -d '\r' <"$work/err" || true
    echo "--- service"; cat "$work/service.log" || true
    exit 1
}
windows_path() { echo "Z:${1//\//\\}"; }

folder="$work/files/노래 모음"
mkdir -p "$folder/안쪽"
for i in $(seq 1 17); do
    head -c $((i * 7919 + RANDOM)) /dev/urandom >"$folder/곡 $i.dat"
done
for i in 1 2 3; do head -c $((i * 65536 + 3)) /dev/urandom >"$folder/안쪽/깊은 곡 $i.dat"; done

"$host/quenvara-service" --storage "$work/store" --port-file "$work/port" >"$work/service.log" 2>&1 &
service=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

# Its own settings and pipe names (a pipe folder of its own: this test may
# run beside another uploader).
export QUENVARA_UI=headless QUENVARA_CONFIG_DIR=$(windows_path "$work/config")
export QUENVARA_PIPE_DIR=$(windows_path "$work/pipes")
mkdir -p "$work/pipes"
"$run" "$UPLOADER" >"$work/out" 2>"$work/err" &
uploader=$!
for _ in $(seq 300); do
    grep -qs "waiting for hand-over" "$work/out" && break
    sleep 0.1
done
grep -q "waiting for hand-over" "$work/out" || fail "the uploader did not start"

set +e
"$run" "$UPLOADER" >"$work/out2" 2>"$work/err2"
second=$?
set -e
[ "$second" -ne 0 ] || fail "a second uploader exited 0"
tr -d '\r' <"$work/err2" | grep -q "이미 실행 중 입니다." || fail "the second uploader did not say it is already running"
echo "ok   a second start says it is already running"

"$run" "$HANDOVER" --server 127.0.0.1 --port "$port" --section 01 --registrant 회원 --user 1001 \
    "$(windows_path "$folder")" >"$work/client" 2>&1 || fail "hand-over failed: $(cat "$work/client")"
echo "ok   the folder was handed over the named pipe"

# It closes by itself once everything is sent (AutoEnd).
for _ in $(seq 1200); do
    kill -0 "$uploader" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$uploader" 2>/dev/null && fail "the uploader did not close by itself"
wait "$uploader" || fail "the uploader ended with an error"
uploader=

stored=0
while IFS= read -r -d '' f; do
    # Stored under the group's folder, which stands for the picked folder:
    # the path below that folder, and nothing of the local path above it.
    relative=${f#"$folder/"}
    copy=$(find "$work/store" -type f -path "*/folders/grp[0-9]/$relative" | head -n 1)
    [ -n "$copy" ] && cmp -s "$f" "$copy" || fail "not stored identical: $relative"
    stored=$((stored + 1))
done < <(find "$work/files" -type f -print0)
[ "$stored" -eq 20 ] || fail "expected 20 files, checked $stored"
echo "ok   all 20 files stored identical"
cat "$work/out" "$work/err" | tr -d '\r' | grep -q "등록하기가 완료되었습니다." || fail "no completion notice"
echo "ok   the completion notice was shown"
