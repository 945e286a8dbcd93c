#!/usr/bin/env bash
# Sets up, builds and shows the tool at work: starts the uploader headless,
# hands it a job the way the web page's control does, and shows what the
# uploader received.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

build=build/default
work=$(mktemp -d /tmp/quenvara-demo-XXXXXX)
uploader_pid=
cleanup() {
    [ -n "$uploader_pid" ] && kill "$uploader_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private pipe folder and settings folder, so the demo leaves nothing behind.
export QUENVARA_PIPE_DIR="$work/pipes" QUENVARA_CONFIG_DIR="$work/config" QUENVARA_UI=headless

mkdir -p "$work/files/앨범"
head -c 150000 /dev/urandom > "$work/files/앨범/첫곡.mp3"
head -c 2500000 /dev/urandom > "$work/files/앨범/둘째곡.mp3"
printf 'notes\n' > "$work/files/앨범/readme.txt"

echo "== starting the uploader (headless)"
"$build/lib/quenvara/QuenvaraUpLoad" > >(sed 's/^/[uploader] /') 2>&1 &
uploader_pid=$!
for _ in $(seq 50); do
    [ -S "$QUENVARA_PIPE_DIR/quenvaraupload" ] && break
    sleep 0.1
done

echo "== handing over a single music file with its music list"
"$build/bin/quenvara-handover" --server 127.0.0.1 --port 9000 --section 07 \
    --registrant demo --user 1001 --music 'NY:첫곡.mp3' "$work/files/앨범/첫곡.mp3"
echo "== handing over a folder to my storage"
"$build/bin/quenvara-handover" --server 127.0.0.1 --port 9000 --my-storage \
    --registrant demo --user 1001 "$work/files/앨범"
echo "== starting a second uploader (must refuse)"
"$build/lib/quenvara/QuenvaraUpLoad" || echo "(second uploader exited with status $?)"

sleep 0.3
kill -TERM "$uploader_pid"
wait "$uploader_pid" || true
uploader_pid=
echo "== done"
