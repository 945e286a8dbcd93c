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
. "$here/e2e_common.sh"

folder="$work/files/노래 모음"
make_korean_folder "$folder"
start_service

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

expect_stored_identical "$folder"
cat "$work/out" "$work/err" | tr -d '\r' | grep -q "등록하기가 완료되었습니다." || fail "no completion notice"
echo "ok   the completion notice was shown"
