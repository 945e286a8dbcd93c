#!/usr/bin/env bash
# The uploader as a process: start headless, take a job from the hand-over
# client, refuse a second instance on the same socket folder but not one on
# another, end on SIGTERM.
set -euo pipefail
: "${UPLOADER:?path of QuenvaraUpLoad}" "${HANDOVER:?path of quenvara-handover}"

work=$(mktemp -d /tmp/qvp-XXXXXX)
pid=
other=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    [ -n "$other" ] && kill "$other" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- uploader stdout"; cat "$work/out" || true; echo "--- uploader stderr"; cat "$work/err" || true; exit 1; }

export QUENVARA_PIPE_DIR="$work/pipes" QUENVARA_CONFIG_DIR="$work/config" QUENVARA_UI=headless
mkdir -p "$work/files"
printf 'hello' > "$work/files/노래.mp3"

"$UPLOADER" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do
    grep -qs "waiting for hand-over" "$work/out" && break
    sleep 0.1
done
grep -q "waiting for hand-over" "$work/out" || fail "uploader did not start"

"$HANDOVER" --server 127.0.0.1 --port 9123 --music 'YY:노래.mp3' --section 07 \
    --registrant tester "$work/files/노래.mp3" >"$work/client" 2>&1 || fail "hand-over client failed: $(cat "$work/client")"

lines=$(grep '^hand-over:' "$work/out")
expected_order=$'hand-over: command server 127.0.0.1 port 9123\nhand-over: music list, 1 entries'
[ "$(printf '%s\n' "$lines" | head -n 2)" = "$expected_order" ] || fail "address and music list not first: $lines"
printf '%s\n' "$lines" | sed -n 3p | grep -q "hand-over: upload job file $work/files/노래.mp3 (5.0 B, section 07, registrant tester)" \
    || fail "job line missing: $lines"

set +e
"$UPLOADER" >"$work/out2" 2>"$work/err2"
second=$?
set -e
[ "$second" -ne 0 ] || fail "second instance exited 0"
grep -q "이미 실행 중 입니다." "$work/err2" || fail "second instance did not say it is already running: $(cat "$work/err2")"

# An uploader on another socket folder is an instance of its own.
QUENVARA_PIPE_DIR="$work/other-pipes" "$UPLOADER" >"$work/out3" 2>"$work/err3" &
other=$!
for _ in $(seq 100); do
    grep -qs "waiting for hand-over" "$work/out3" && break
    sleep 0.1
done
grep -q "waiting for hand-over on $work/other-pipes/quenvaraupload" "$work/out3" \
    || fail "an uploader on another socket folder did not start: $(cat "$work/err3")"
kill -TERM "$other"
wait "$other" || fail "the uploader on another socket folder did not end cleanly"
other=

kill -TERM "$pid"
wait "$pid" || fail "uploader did not end cleanly on SIGTERM"
pid=
grep -q "AutoEnd=300" "$work/config/QuenvaraUpLoad.INI" || fail "profile not written"
[ ! -e "$work/pipes/quenvaraupload" ] || fail "socket left behind"
echo "uploader process test passed"
