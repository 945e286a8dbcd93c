#!/usr/bin/env bash
# Screenshots of the uploader on a small desktop, by hand (not in CI): a
# virtual display with a window manager (openbox) and a tray host (trayer);
# the tray menu opened by a right click on the icon, and the same-name
# question asked by the reference service.
#   scripts/gui_screenshots.sh [OUT_DIR]        (default gui-screenshots/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-gui-screenshots}" && cd "${1:-gui-screenshots}" && pwd)

scripts/install-deps.sh
missing=()
for tool in openbox trayer xdotool; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y "${missing[@]}"
fi
# BUILD=build/ci takes the programs of a build tree that is there already.
build=${BUILD:-build/default}
if [ -z "${BUILD:-}" ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target QuenvaraUpLoad quenvara-handover quenvara-service \
        >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request --height 28 --SetDockType true \
    --transparent false --tint 0x3c3c3c >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The whole screen as PNG, with the same reader the window's screenshots use.
screen() {
    python3 - "$DISPLAY" "$out/$1.png" <<'PY'
import sys
sys.path.insert(0, "scripts")
import window_screenshot as w
screen = w.grab_root(sys.argv[1])
w.save_region(screen, sys.argv[2], 0, 0, screen[0], screen[1])
PY
    echo "screenshot: $out/$1.png"
}

mkdir -p "$work/files"
head -c 3000000 /dev/urandom >"$work/files/같은 이름.bin"
"$build/bin/quenvara-service" --storage "$work/store" --port-file "$work/port" \
    --same-name "같은" --rate 2000000 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done

# "창 닫기" off, so that the window stays after its runs for the screenshots.
mkdir -p "$work/config"
printf '[CheckFirstAutoOff]\nValue1=no\n' >"$work/config/quenvara.ini"
printf '[Setting]\nAutoEnd=0\n' >"$work/config/QuenvaraUpLoad.INI"
export QUENVARA_UI=gui QUENVARA_PIPE_DIR="$work/pipes" QUENVARA_CONFIG_DIR="$work/config" \
    QUENVARA_GUI_PROBE="$work/probe"
"$build/lib/quenvara/QuenvaraUpLoad" >"$work/uploader.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -qs '^window shown=1' "$work/probe/state.txt" && break; sleep 0.1; done

# The tray icon is the only one in the tray host, at the screen's top right.
sleep 1
read -r width _ < <(xdotool getdisplaygeometry)
xdotool mousemove $((width - 14)) 14 click 3
sleep 1
screen tray-menu
xdotool key Escape
sleep 0.5

"$build/bin/quenvara-handover" --server 127.0.0.1 --port "$(cat "$work/port")" \
    --registrant demo --user 1001 "$work/files/같은 이름.bin" >/dev/null
for _ in $(seq 200); do
    grep -qs '^box caption=파일 올리기 - 알림 창' "$work/probe/state.txt" && break
    sleep 0.1
done
# Drawn once the window manager has mapped it.
sleep 2
screen same-name-question

wait_probe() {
    for _ in $(seq 600); do grep -qs "$1" "$work/probe/state.txt" && return 0; sleep 0.1; done
    return 1
}

# 예: the file goes on; the window stays after the run ("창 닫기" is off).
xdotool key Return
wait_probe '^box caption=.*등록하기가 완료되었습니다' || true
wait_probe '^box $'
sleep 1
screen after-complete-run

# A run in which one file cannot be sent: it is deleted before its turn.
head -c 4000000 /dev/urandom >"$work/files/큰 파일.bin"
head -c 1000 /dev/urandom >"$work/files/지워질 파일.bin"
for f in "큰 파일.bin" "지워질 파일.bin"; do
    "$build/bin/quenvara-handover" --server 127.0.0.1 --port "$(cat "$work/port")" \
        --registrant demo --user 1001 "$work/files/$f" >/dev/null
done
rm "$work/files/지워질 파일.bin"
# The start button (a finished window does not start new rows by itself).
read -r x y < <(python3 - "$work/probe/state.txt" <<'PY'
import re, sys
s = open(sys.argv[1], encoding="utf-8").read()
w = re.search(r"^window shown=1 .*rect=(-?\d+),(-?\d+),", s, re.M)
b = re.search(r"^button 1012 .*rect=(\d+),(\d+),(\d+)x(\d+)", s, re.M)
print(int(w.group(1)) + int(b.group(1)) + int(b.group(3)) // 2,
      int(w.group(2)) + int(b.group(2)) + int(b.group(4)) // 2)
PY
)
xdotool mousemove "$x" "$y" click 1
wait_probe '^box caption=.*올리지 못했습니다' || { grep -E '^(row|box|button 1012)' "$work/probe/state.txt"; exit 1; }
sleep 2
screen failed-run-box
xdotool key Return
wait_probe '^box $'
sleep 1
screen after-failed-run
