#!/usr/bin/env bash
# The messages a job becomes, built on Windows (under Wine) and on Linux
# from the same folder and file, byte for byte: texts in CP949, sizes,
# flags and every field alike; the local paths differ only by the one rule
# that carries a path into the records (Z: plus the Linux path, each '/' a
# '\'). Needs HANDOVER (the Windows build's quenvara-handover.exe).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../scripts/wine-run.sh"
host=$("$here/host_tools.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows_path() { echo "Z:${1//\//\\}"; }

folder="$work/노래 모음"
mkdir -p "$folder/안쪽"
for i in 1 2 3; do head -c $((i * 1000 + 7)) /dev/urandom >"$folder/곡 $i.mp3"; done
head -c 70000 /dev/urandom >"$folder/안쪽/깊은 곡.wav"
single="$folder/곡 2.mp3"

# NAME TARGET OPTION...: the job's messages from both builds, compared.
compare() {
    local name=$1 target=$2
    shift 2
    local common=(--server 127.0.0.1 --port 7001 --user 1001 --registrant 회원 --display "내 노래" "$@")
    "$host/quenvara-handover" "${common[@]}" --messages "$work/$name.linux" "$target"
    "$run" "$HANDOVER" "${common[@]}" --messages "$(windows_path "$work/$name.windows")" \
        "$(windows_path "$target")"
    python3 - "$work/$name.linux" "$work/$name.windows" "$work" <<'PY' || exit 1
import struct, sys

def messages(path):
    data = open(path, "rb").read()
    out, at = [], 0
    while at < len(data):
        kind, size = struct.unpack_from("<II", data, at)
        out.append((kind, data[at + 8:at + 8 + size]))
        at += 8 + size
    return out

def as_linux(payload, work):
    # A Windows path field ("Z:\...", NUL-padded) read by the one rule.
    prefix = ("Z:" + work.replace("/", "\\")).encode("cp949")
    out, at = bytearray(), 0
    while at < len(payload):
        if payload.startswith(prefix, at):
            end = payload.index(b"\0", at)
            text = payload[at + 2:end].replace(b"\\", b"/")
            out += text + b"\0" * (end - at - len(text))
            at = end
        else:
            out.append(payload[at])
            at += 1
    return bytes(out)

linux, windows, work = messages(sys.argv[1]), messages(sys.argv[2]), sys.argv[3]
if [k for k, _ in linux] != [k for k, _ in windows]:
    sys.exit(f"FAIL: kinds differ: {[k for k, _ in linux]} vs {[k for k, _ in windows]}")
for (kind, a), (_, b) in zip(linux, windows):
    if len(a) != len(b):
        sys.exit(f"FAIL: kind {kind}: {len(a)} bytes on Linux, {len(b)} on Windows")
    windows_prefix = ("Z:" + work.replace("/", "\\")).encode("cp949")
    if kind in (4, 3) and len(a) > 20 and (work.encode("cp949") not in a or
                                           windows_prefix not in b):
        sys.exit(f"FAIL: kind {kind}: a record does not name the job's folder as its system does")
    b = as_linux(b, work)
    if a != b:
        first = next(i for i in range(len(a)) if a[i] != b[i])
        sys.exit(f"FAIL: kind {kind} differs from byte {first}: {a[first:first + 24]!r} vs "
                 f"{b[first:first + 24]!r}")
PY
    echo "ok   $name: $(stat -c %s "$work/$name.linux") bytes alike"
}
compare upload-folder "$folder" --section 07 --music "YN:곡 1.mp3" --music "NN:곡 3.mp3"
compare upload-file "$single" --section 07 --music "YY:곡 2.mp3"
compare my-storage-folder "$folder" --my-storage
compare my-storage-file "$single" --my-storage
