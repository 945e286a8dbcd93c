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
    usr/lib/mozilla/native-messaging-hosts/com.quenvara.control_host.json \
    usr/share/quenvara/browser-extension/manifest.json usr/share/quenvara/firefox-extension.xpi; do
    [ -e "$installed/$f" ] || fail "/$f is not in the packages"
done

echo "== the browsers' host manifests and extensions"
# Each host manifest starts the installed host and names the extension the
# package ships for that browser: Chromium's by the origin its key makes,
# Firefox's by the id inside the .xpi, whose manifest is Firefox's form.
python3 - "$installed" <<'PY' || fail "the browser bridge's manifests"
import base64, hashlib, json, sys, zipfile
root = sys.argv[1]
host = "/usr/lib/quenvara/quenvara-control-host"
failed = False
def expect(ok, what):
    global failed
    print(("ok   " if ok else "FAIL ") + what)
    failed |= not ok
name = "com.quenvara.control_host.json"
chromium = json.load(open(root + "/etc/chromium/native-messaging-hosts/" + name))
firefox = json.load(open(root + "/usr/lib/mozilla/native-messaging-hosts/" + name))
extension = json.load(open(root + "/usr/share/quenvara/browser-extension/manifest.json"))
digest = hashlib.sha256(base64.b64decode(extension["key"])).hexdigest()[:32]
chromium_id = "".join(chr(ord("a") + int(c, 16)) for c in digest)
with zipfile.ZipFile(root + "/usr/share/quenvara/firefox-extension.xpi") as xpi:
    expect(xpi.testzip() is None, "the .xpi reads whole")
    names = set(xpi.namelist())
    packed = json.loads(xpi.read("manifest.json"))
gecko_id = packed.get("browser_specific_settings", {}).get("gecko", {}).get("id")
for label, manifest in (("Chromium", chromium), ("Firefox", firefox)):
    expect(manifest.get("path") == host and manifest.get("type") == "stdio" and
           manifest.get("name") == name[:-5], "%s's host manifest starts %s" % (label, host))
expect(chromium.get("allowed_origins") == ["chrome-extension://%s/" % chromium_id] and
       "allowed_extensions" not in chromium, "Chromium's names the shipped extension only")
expect(gecko_id and firefox.get("allowed_extensions") == [gecko_id] and
       "allowed_origins" not in firefox, "Firefox's names the .xpi's id (%s) only" % gecko_id)
expect({"manifest.json", "background.js", "bridge.js", "page-api.js", "extension-api.js",
        "allowed-origins.json"} <= names, "the .xpi holds the extension's files: %s" % sorted(names))
expect("key" not in packed and "service_worker" not in packed.get("background", {}) and
       packed.get("background", {}).get("scripts"), "the .xpi's manifest is Firefox's form")
expect("browser_specific_settings" not in extension and "scripts" not in extension["background"],
       "the folder's manifest is Chromium's form")
expect(packed["permissions"] == extension["permissions"] and
       packed["optional_host_permissions"] == extension["optional_host_permissions"],
       "both forms ask for the same permissions")
sys.exit(1 if failed else 0)
PY
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
