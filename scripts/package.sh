#!/usr/bin/env bash
# Builds the two Debian packages from a clean copy of the tree, checks them,
# and runs the installed programs from a throw-away root:
#   1. dpkg-buildpackage -us -uc -b (the test suite runs in it, without the
#      window's and the browser's tests);
#   2. lintian, desktop-file-validate and appstreamcli on what was built;
#   3. the layout: libraries in /usr/lib/quenvara, nothing in the multiarch
#      folder or /etc/opt, the $ORIGIN search paths kept;
#   4. the packages unpacked into a temporary root (dpkg -x; nothing on this
#      machine changes) and debian/tests/installed-programs run against it.
# The .deb files are left in build/package/.
#   scripts/package.sh            (DEB_BUILD_OPTIONS=nocheck skips the suite)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
scripts/install-deps.sh --package

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
out="$root/build/package"
rm -rf "$out"
mkdir -p "$out/src"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A clean copy: the tree's files without build folders or anything ignored.
src="$out/src/quenvara-$version"
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
    [ -e "$f" ] && printf '%s\0' "$f"
done | tar --null -T - -cf - | tar -xf - -C "$src"

echo "== building the packages"
(cd "$src" && dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$out/build.log" 2>&1 || {
    tail -n 60 "$out/build.log"
    echo "package: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
grep -E "tests passed|tests failed" "$out/build.log" || true
changes=$(ls "$out"/src/*.changes)
mv "$out"/src/*.deb "$out/"
mv "$out"/src/*.changes "$out"/src/*.buildinfo "$out/"
changes="$out/$(basename "$changes")"

failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

echo "== lintian"
lintian --fail-on error,warning --tag-display-limit 0 "$changes" || fail "lintian found problems"

echo "== contents"
for deb in "$out"/*.deb; do
    name=$(dpkg-deb -f "$deb" Package)
    dpkg-deb -x "$deb" "$work/root"
    dpkg -c "$deb" >"$out/$name.contents"
    if grep -E " \./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/" "$out/$name.contents"; then
        fail "$name puts files in the multiarch folder"
    fi
    if grep -E " \./etc/opt/" "$out/$name.contents"; then
        fail "$name owns files under /etc/opt"
    fi
done
installed="$work/root"
for f in usr/lib/quenvara/QuenvaraUpLoad usr/lib/quenvara/libQuenvaraMF.so \
    usr/lib/quenvara/libQuenvaraMFWma.so usr/lib/quenvara/quenvara-control-host \
    usr/bin/quenvara-handover usr/bin/quenvara-fingerprint usr/bin/quenvara-upload \
    etc/chromium/native-messaging-hosts/com.quenvara.control_host.json \
    usr/share/quenvara/browser-extension/manifest.json; do
    [ -e "$installed/$f" ] || fail "/$f is not in the packages"
done
for f in usr/lib/quenvara/QuenvaraUpLoad usr/lib/quenvara/libQuenvaraMF.so \
    usr/bin/quenvara-fingerprint; do
    paths=$(readelf -d "$installed/$f" | grep -E "RPATH|RUNPATH" || true)
    echo "/$f: ${paths:-no search path}"
    case "$paths" in
        *'$ORIGIN'*) ;;
        *) fail "/$f lost its \$ORIGIN search path" ;;
    esac
done

echo "== desktop entry and metainfo"
desktop-file-validate "$installed"/usr/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$installed"/usr/share/metainfo/*.metainfo.xml || fail "metainfo"
for size in 16 24 32 48 64 128 256; do
    [ -f "$installed/usr/share/icons/hicolor/${size}x${size}/apps/com.quenvara.Upload.png" ] ||
        fail "no ${size}px icon"
done

echo "== every environment variable the programs read is in a man page"
man_text=$(zcat "$installed"/usr/share/man/man1/*.1.gz)
for name in $(grep -rhoE '"QUENVARA_[A-Z_]+"' --include='*.cpp' --include='*.h' \
        uploader common platform protocol handover_client musicfilter wmadecoder webcontrol tools |
        tr -d '"' | sort -u); do
    grep -q "$name" <<<"$man_text" || fail "$name is read but no man page names it"
done

echo "== the installed programs"
QUENVARA_TEST_ROOT="$installed" QUENVARA_SERVICE=$(ls "$src"/obj-*/bin/quenvara-service) \
    debian/tests/installed-programs || fail "the installed programs"

if [ "$failures" -ne 0 ]; then
    echo "package: $failures check(s) failed" >&2
    exit 1
fi
rm -rf "$out/src"
echo "package: both packages built and checked: $(cd "$out" && ls ./*.deb | tr '\n' ' ')"
