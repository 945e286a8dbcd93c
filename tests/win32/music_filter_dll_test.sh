#!/usr/bin/env bash
# QuenvaraMF.dll under Wine against the reference filter service of the
# Linux build, on loopback with its own certificate:
#   - exactly the three exports, bound by name, called as stdcall with a
#     balanced stack (music_filter_dll_probe.exe);
#   - a Korean file name and user id given in the ANSI code page (949) reach
#     the service as CP949, and the content key equals the Linux build's;
#   - without the extra certificate the service's own is not trusted: both
#     checks fail and nothing reaches the service;
#   - the fingerprint tool gives the Linux tool's output on every fixture.
# Needs PROBE, DLL, FINGERPRINT (the Windows build's) and AUDIO_FIXTURES.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../scripts/wine-run.sh"
host=$("$here/host_tools.sh")
work=$(mktemp -d)
service=
cleanup() {
    [ -n "$service" ] && kill "$service" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        echo "ok   $1"
    else
        echo "FAIL $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}
windows_path() { echo "Z:${1//\//\\}"; }

exports=$(i686-w64-mingw32-objdump -p "$DLL" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^\t\[/ {print $NF}' | sort | tr '\n' ' ')
check "the library exports exactly three names" \
    "L_OrvaneMusicDownload L_OrvaneMusicIsWMA L_OrvaneMusicUpload " "$exports"

"$host/quenvara-service" --discard --filter "$work/tls" >"$work/service.log" 2>&1 &
service=$!
for _ in $(seq 100); do
    grep -q "filter service https" "$work/service.log" && break
    sleep 0.1
done
# By the name its certificate carries: Wine's name check reads no IP
# address entries.
url=$(sed -n 's/.*filter service \(https:[^ ]*\).*/\1/p' "$work/service.log" | sed 's/127\.0\.0\.1/localhost/')
[ -n "$url" ] || { cat "$work/service.log"; echo "FAIL the filter service did not start"; exit 1; }

song="$work/노래.mp3"
cp "$AUDIO_FIXTURES/cbr128.mp3" "$song"
linux_key=$("$host/quenvara-fingerprint" --key "$song" | sed -n 's/^key //p')

out=$(QUENVARA_FILTER_URL=$url QUENVARA_FILTER_CAFILE=$(windows_path "$work/tls/filter-cert.pem") \
    "$run" "$PROBE" "$(windows_path "$DLL")" "$(windows_path "$song")" "회원" | tr -d '\r')
echo "$out"
check "every export bound by name" "upload download is_wma" "$(sed -n 's/^exports //p' <<<"$out")"
check "the upload check of an unknown song: 0, its key, status 00" "0 key $linux_key status 00" \
    "$(sed -n 's/^upload //p' <<<"$out")"
check "the download check of that key: 0, status 00" "0 status 00" "$(sed -n 's/^download //p' <<<"$out")"
check "no WMA decoder module: 1" "1" "$(sed -n 's/^is_wma //p' <<<"$out")"
check "the callee removed its own arguments" "balanced" "$(sed -n 's/^stack //p' <<<"$out")"

untrusted=$(QUENVARA_FILTER_URL=$url "$run" "$PROBE" "$(windows_path "$DLL")" \
    "$(windows_path "$song")" "회원" | tr -d '\r')
check "an untrusted service: the upload check fails" "1 key  status " \
    "$(sed -n 's/^upload //p' <<<"$untrusted")"
check "an untrusted service: the download check fails" "1 status " \
    "$(sed -n 's/^download //p' <<<"$untrusted")"

# Without the WMA decoder module (not built for Windows) a WMA file whose
# fingerprint is needed cannot be checked.
wma="$work/곡.wma"
head -c 40000 /dev/urandom >"$wma"
wma_key=$("$host/quenvara-fingerprint" --key "$wma" | sed -n 's/^key //p')
wma_out=$(QUENVARA_FILTER_URL=$url QUENVARA_FILTER_CAFILE=$(windows_path "$work/tls/filter-cert.pem") \
    "$run" "$PROBE" "$(windows_path "$DLL")" "$(windows_path "$wma")" "회원" | tr -d '\r')
check "a WMA file without the decoder module: 99" "99" \
    "$(sed -n 's/^upload \([0-9]*\) .*/\1/p' <<<"$wma_out")"

kill "$service"
wait "$service" || true
service=
# (The WMA run's queries left out: its key, and its download check, which
# has no key to ask for.)
forms=$(grep "service: filter " "$work/service.log" | grep -v -e "sh=$wma_key" -e "sh= " || true)
echo "$forms"
# The unknown song's key query and its fingerprint's registration, then the
# download query; the untrusted run sent nothing.
check "the service saw the trusted run's forms and nothing else" \
    "Search01.jsp sh=$linux_key upload=UP user_id=%C8%B8%BF%F8 filename=%B3%EB%B7%A1.mp3
Search02.jsp sh=$linux_key upload=UP user_id=%C8%B8%BF%F8 filename=%B3%EB%B7%A1.mp3 bitrate=128 dna_count=32
Search01.jsp sh=$linux_key upload=DN user_id=%C8%B8%BF%F8 filename=" \
    "$(sed -n 's/.*quenvara\(Search0[12].jsp .*\)/\1/p' <<<"$forms")"

for f in "$AUDIO_FIXTURES"/*.mp3 "$AUDIO_FIXTURES"/*.ogg "$AUDIO_FIXTURES"/*.wav; do
    linux=$("$host/quenvara-fingerprint" "$f" 2>&1 || true)
    windows=$("$run" "$FINGERPRINT" "$(windows_path "$f")" 2>&1 | tr -d '\r' || true)
    check "the fingerprint of $(basename "$f") equals the Linux build's" "$linux" "$windows"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
