#!/usr/bin/env bash
# Sets up, builds and shows the tool at work: starts the reference service on
# loopback, starts the uploader headless, hands it a few files the way the web
# page's control does, lets it upload them and compares what the service
# stored with the originals.
#   scripts/demo.sh          headless: the progress as terminal lines
#   scripts/demo.sh --gui    with the window (on a virtual display when there
#                            is none), leaving screenshots in build/demo-screenshots
set -euo pipefail
cd "$(dirname "$0")/.."
gui=
[ "${1:-}" = "--gui" ] && gui=1

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

build=build/default
work=$(mktemp -d /tmp/quenvara-demo-XXXXXX)
service_pid=
uploader_pid=
xvfb_pid=
cleanup() {
    [ -n "$uploader_pid" ] && kill "$uploader_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Private pipe and settings folders, so the demo leaves nothing behind.
export QUENVARA_PIPE_DIR="$work/pipes" QUENVARA_CONFIG_DIR="$work/config" QUENVARA_UI=headless
shots=$build/../demo-screenshots
rate=()
if [ -n "$gui" ]; then
    export QUENVARA_UI=gui QUENVARA_GUI_PROBE="$work/probe"
    if [ -z "${DISPLAY:-}" ]; then
        # No display: a virtual one, which writes its number when it is up.
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
        xvfb_pid=$!
        for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
        export DISPLAY=":$(cat "$work/display")"
        echo "== virtual display $DISPLAY"
    fi
    mkdir -p "$shots"
    # Slow enough to watch the window at work.
    rate=(--rate 40000000)
fi
shot() {
    [ -n "$gui" ] || return 0
    if python3 scripts/window_screenshot.py "$DISPLAY" "$QUENVARA_GUI_PROBE" "$shots/$1.png"; then
        echo "   screenshot: $shots/$1.png"
    fi
}

files="$work/files"
mkdir -p "$files"
printf 'Quenvara demo\n' > "$files/안내.txt"
: > "$files/empty.dat"
head -c 2500000 /dev/urandom > "$files/사진.jpg"
# 70 seconds of synthetic music: the filter service does not know it, so the
# music filter library fingerprints it and registers the fingerprint.
sox -q -D -n -r 44100 -c 2 -b 16 "$work/song.wav" synth 70 sine 220-1800 sine 660 pinknoise \
    tremolo 3 40 gain -6
lame --quiet -b 128 "$work/song.wav" "$files/노래.mp3"
rm "$work/song.wav"
# A folder handed over whole: one job per file below it, sent as one group.
for d in 봄 여름/장마 가을; do
    mkdir -p "$files/사진첩/$d"
    for i in 1 2 3; do head -c $((RANDOM * 10)) /dev/urandom > "$files/사진첩/$d/사진$i.jpg"; done
done
# Large enough to watch: mostly holes, with random bytes at both ends.
truncate -s 400M "$files/disk.img"
head -c 1000000 /dev/urandom | dd of="$files/disk.img" conv=notrunc status=none
head -c 1000000 /dev/urandom | dd of="$files/disk.img" bs=1M seek=399 conv=notrunc status=none

echo "== starting the reference service"
"$build/bin/quenvara-service" --storage "$work/store" --port-file "$work/port" \
    --filter "$work/filter" "${rate[@]}" > >(sed -u 's/^/[service] /') 2>&1 &
service_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
for _ in $(seq 50); do [ -s "$work/filter/url" ] && break; sleep 0.1; done
# The music filter library checks music files against this service, over
# HTTPS with its self-signed certificate trusted.
export QUENVARA_FILTER_URL=$(cat "$work/filter/url") QUENVARA_FILTER_CAFILE="$work/filter/filter-cert.pem"

echo "== starting the uploader (${QUENVARA_UI}; it closes by itself when everything is sent)"
"$build/lib/quenvara/QuenvaraUpLoad" > >(sed -u 's/^/[uploader] /') 2>&1 &
uploader_pid=$!
for _ in $(seq 50); do [ -S "$QUENVARA_PIPE_DIR/quenvaraupload" ] && break; sleep 0.1; done
sleep 0.5
shot 1-start

echo "== handing over the files"
for f in "$files/안내.txt" "$files/empty.dat" "$files/사진.jpg" "$files/disk.img"; do
    "$build/bin/quenvara-handover" --server 127.0.0.1 --port "$port" --section 01 \
        --registrant demo --user 1001 "$f"
done
"$build/bin/quenvara-handover" --server 127.0.0.1 --port "$port" --section 07 \
    --registrant demo --user 1001 --music 'NY:노래.mp3' "$files/노래.mp3"
"$build/bin/quenvara-handover" --server 127.0.0.1 --port "$port" --section 01 \
    --registrant demo --user 1001 "$files/사진첩"

if [ -n "$gui" ]; then
    sleep 4
    shot 2-mid-upload
    # The completion box counts down over the finished list.
    for _ in $(seq 600); do
        grep -q '^box caption=' "$QUENVARA_GUI_PROBE/state.txt" 2>/dev/null && break
        kill -0 "$uploader_pid" 2>/dev/null || break
        sleep 0.1
    done
    shot 3-completed
fi
status=0
wait "$uploader_pid" || status=$?
uploader_pid=
kill "$service_pid"
wait "$service_pid" || true
service_pid=

echo "== summary"
ok=0
missing=0
while IFS= read -r -d '' f; do
    name=$(basename "$f")
    # A folder's files keep their sub-folders on the server.
    sub=$(dirname "${f#"$files"/}")
    case "$sub" in
        .) pattern="*/$name" ;;
        */*) pattern="*/${sub#*/}/$name" ;;
        *) pattern="*/$name" ;;
    esac
    stored=$(find "$work/store" -type f -name "$name" -path "$pattern" | head -n 1)
    if [ -n "$stored" ] && cmp -s "$f" "$stored"; then
        printf '  identical  %10d bytes  %s\n' "$(stat -c %s "$f")" "${f#"$files"/}"
        ok=$((ok + 1))
    else
        printf '  MISSING or different: %s\n' "${f#"$files"/}"
        missing=$((missing + 1))
    fi
done < <(find "$files" -type f -print0 | sort -z)
echo "$ok files stored identical, $missing missing (uploader exit status $status)"
[ "$missing" -eq 0 ]
