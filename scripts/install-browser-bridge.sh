#!/usr/bin/env bash
# Installs the browser bridge of the web-page upload control: the native
# messaging host's manifest into a Chromium profile, and the extension,
# prepared with the origins allowed to use the control, into a folder to
# load ("Load unpacked" on chrome://extensions, developer mode on).
#
#   scripts/install-browser-bridge.sh [--profile DIR] [--allow-origin ORIGIN]...
#                                     [--host PATH] [--extension-dir DIR]
#
# --profile DIR       the browser's user data dir (default: the user's Chromium
#                     and Chrome folders)
# --allow-origin O    another origin that may use the control, e.g.
#                     http://127.0.0.1:8080 (the service's own, from
#                     QUENVARA_WEB_URL, is always allowed)
# --host PATH         the host program (default: the build's, or the installed one)
# --extension-dir DIR where to prepare the extension
#                     (default: ${XDG_DATA_HOME:-~/.local/share}/quenvara/browser-extension)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=com.quenvara.control_host
profiles=()
origins=()
host=
extension_dir=${XDG_DATA_HOME:-$HOME/.local/share}/quenvara/browser-extension
while [ $# -gt 0 ]; do
    case "$1" in
        --profile) profiles+=("$2"); shift 2 ;;
        --allow-origin) origins+=("$2"); shift 2 ;;
        --host) host=$2; shift 2 ;;
        --extension-dir) extension_dir=$2; shift 2 ;;
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
        *) echo "install-browser-bridge: unknown option $1" >&2; exit 2 ;;
    esac
done
if [ -z "$host" ]; then
    for candidate in "$root/build/default/bin/quenvara-control-host" \
                     "$root/build/ci/bin/quenvara-control-host" \
                     "$(command -v quenvara-control-host || true)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then host=$candidate; break; fi
    done
fi
if [ -z "$host" ] || [ ! -x "$host" ]; then
    echo "install-browser-bridge: no quenvara-control-host found; build it or give --host" >&2
    exit 1
fi
host=$(cd "$(dirname "$host")" && pwd)/$(basename "$host")
if [ ${#profiles[@]} -eq 0 ]; then
    profiles=("$HOME/.config/chromium" "$HOME/.config/google-chrome")
fi
web_url=${QUENVARA_WEB_URL:-https://quenvara.example}
extension_id=$(python3 - "$root/webcontrol/extension/manifest.template.json" <<'PY'
import base64, hashlib, json, sys
key = json.load(open(sys.argv[1]))["key"]
digest = hashlib.sha256(base64.b64decode(key)).hexdigest()[:32]
print("".join(chr(ord("a") + int(c, 16)) for c in digest))
PY
)

# The extension, with the allowed origins as its content scripts' matches.
mkdir -p "$extension_dir"
cp "$root/webcontrol/extension/"*.js "$extension_dir/"
python3 - "$root/webcontrol/extension/manifest.template.json" "$extension_dir/manifest.json" \
    "$web_url" "${origins[@]}" <<'PY'
import json, sys
from urllib.parse import urlsplit
template, target, *origins = sys.argv[1:]
matches = []
for origin in origins:
    parts = urlsplit(origin)
    if parts.scheme not in ("http", "https") or not parts.netloc:
        sys.exit("install-browser-bridge: not an origin: " + origin)
    match = parts.scheme + "://" + parts.netloc + "/*"
    if match not in matches:
        matches.append(match)
text = open(template).read().replace('"@MATCHES@"', json.dumps(matches))
json.loads(text)
open(target, "w").write(text)
PY

# The host's manifest, naming the extension that may start it.
for profile in "${profiles[@]}"; do
    mkdir -p "$profile/NativeMessagingHosts"
    cat > "$profile/NativeMessagingHosts/$name.json" <<JSON
{
  "name": "$name",
  "description": "Quenvara upload control",
  "path": "$host",
  "type": "stdio",
  "allowed_origins": ["chrome-extension://$extension_id/"]
}
JSON
    echo "host manifest: $profile/NativeMessagingHosts/$name.json"
done
echo "extension ($extension_id), load it from: $extension_dir"
