# Sourced by the Windows end-to-end tests: a folder of 20 files with Korean
# names, the Linux build's reference service, and the check that each file
# was stored identical. Needs `work`, `host`, `service` and `fail` of the
# test that sources it.

windows_path() { echo "Z:${1//\//\\}"; }

# make_korean_folder DIR: 17 files and 3 more in a sub-folder.
make_korean_folder() {
    mkdir -p "$1/안쪽"
    for i in $(seq 1 17); do
        head -c $((i * 7919 + RANDOM)) /dev/urandom >"$1/곡 $i.dat"
    done
    for i in 1 2 3; do head -c $((i * 65536 + 3)) /dev/urandom >"$1/안쪽/깊은 곡 $i.dat"; done
}

# start_service: the reference service on loopback; sets `service` and `port`.
start_service() {
    "$host/quenvara-service" --storage "$work/store" --port-file "$work/port" \
        >"$work/service.log" 2>&1 &
    service=$!
    for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
    port=$(cat "$work/port")
}

# expect_stored_identical DIR: every file below DIR is stored identical
# under the group's folder, which stands for DIR: the path below DIR, and
# nothing of the local path above it. Files still arriving are waited for.
expect_stored_identical() {
    local checked=0 f relative copy
    while IFS= read -r -d '' f; do
        relative=${f#"$1/"}
        copy=""
        for _ in $(seq 300); do
            copy=$(find "$work/store" -type f -path "*/folders/grp[0-9]/$relative" | head -n 1)
            [ -n "$copy" ] && cmp -s "$f" "$copy" && break
            sleep 0.1
        done
        [ -n "$copy" ] && cmp -s "$f" "$copy" || fail "not stored identical: $relative"
        checked=$((checked + 1))
    done < <(find "$1" -type f -print0)
    [ "$checked" -eq 20 ] || fail "expected 20 files, checked $checked"
    echo "ok   all 20 files stored identical"
}
