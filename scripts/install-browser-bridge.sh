#!/usr/bin/env bash
# Installs the browser bridge of the web-page upload control: the native
# messaging host's manifest for a browser, and the extension, prepared with
# the origins allowed to use the control, into a folder to load (Chromium:
# "Load unpacked" on chrome://extensions, developer mode on) and, for
# Firefox, packed beside it as an .xpi.
#
#   scripts/install-browser-bridge.sh [--firefox] [--profile DIR]
#                                     [--allow-origin ORIGIN]...
#                                     [--host PATH] [--host-path PATH]
#                                     [--extension-dir DIR]
#
# --firefox           for Firefox instead of Chromium: the host manifest names
#                     the extension's id, and the extension is Firefox's form
# --profile DIR       where the host manifest goes: Chromium's user data dir
#                     (default: the user's Chromium and Chrome folders), or
#                     with --firefox the folder holding native-messaging-hosts/
#                     (default: ~/.mozilla)
# --allow-origin O    another origin that may use the control, e.g.
#                     http://127.0.0.1:8080 (the service's own, from
#                     QUENVARA_WEB_URL, is always allowed): https, or plain
#                     http on a loopback host; no wildcard, user or path
# --host PATH         the host program (default: the build's, or the installed one)
# --host-path PATH    the host's path written into the manifest, when the
#                     host is installed there later (a package build)
# --extension-dir DIR where to prepare the extension (default:
#                     ${XDG_DATA_HOME:-~/.local/share}/quenvara/browser-extension,
#                     or firefox-extension and firefox-extension.xpi beside it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=com.quenvara.control_host
profiles=()
origins=()
host=
host_path=
extension_dir=
browser=chromium
while [ $# -gt 0 ]; do
    case "$1" in
        --profile|--allow-origin|--host|--host-path|--extension-dir)
            if [ $# -lt 2 ]; then
                echo "install-browser-bridge: $1 needs a value" >&2
                exit 2
            fi ;;
    esac
    case "$1" in
        --profile) profiles+=("$2"); shift 2 ;;
        --allow-origin) origins+=("$2"); shift 2 ;;
        --host) host=$2; shift 2 ;;
        --host-path) host_path=$2; shift 2 ;;
        --extension-dir) extension_dir=$2; shift 2 ;;
        --firefox) browser=firefox; shift ;;
        -h|--help) sed -n '2,28p' "$0"; exit 0 ;;
        *) echo "install-browser-bridge: unknown option $1" >&2; exit 2 ;;
    esac
done
web_url=${QUENVARA_WEB_URL:-https://quenvara.example}
if [ -z "$extension_dir" ]; then
    folder=browser-extension
    [ "$browser" = chromium ] || folder=firefox-extension
    extension_dir=${XDG_DATA_HOME:-$HOME/.local/share}/quenvara/$folder
fi
extension_dir=${extension_dir%/}

# The allowed origins in the form the browser reports a page's origin in
# (lower case, no default port), since the extension's worker compares that
# text exactly; anything it could not match exactly, or that would open the
# control to pages we do not know, is refused before anything is written.
allowed=$(python3 - "$web_url" "${origins[@]}" <<'PY'
import ipaddress, json, re, sys

DEFAULT_PORTS = {"http": 80, "https": 443}
LABEL = re.compile(r"[a-z0-9_]([a-z0-9_-]*[a-z0-9_])?$")


class Refused(Exception):
    pass


def normalise(text, is_site_url=False):
    if "*" in text:
        raise Refused("wildcards are not allowed; give each origin")
    if any(c.isspace() or ord(c) < 0x20 or c == "\\" for c in text):
        raise Refused("it holds a space, a control character or a backslash")
    match = re.fullmatch(r"([A-Za-z][A-Za-z0-9+.-]*)://([^/?#]*)(.*)", text, re.S)
    if not match:
        raise Refused("not an origin (scheme://host[:port])")
    scheme, authority, rest = match[1].lower(), match[2], match[3]
    if scheme not in DEFAULT_PORTS:
        raise Refused("only http and https origins can use the control")
    if "@" in authority:
        raise Refused("user info is not allowed in an origin")
    # The service's web site is a URL: its path is not part of its origin.
    if rest not in ("", "/") and not is_site_url:
        raise Refused("an origin has no path, query or fragment")
    host_port = re.fullmatch(r"(\[[^\]]*\]|[^:\[\]]*)(?::([0-9]*))?", authority)
    if not host_port or not host_port[1]:
        raise Refused("no host, or a malformed host or port")
    host, port = host_port[1].lower(), host_port[2]
    if "%" in host:
        raise Refused("percent signs and zone ids are not allowed in the host")
    if host.startswith("["):
        try:
            address = ipaddress.IPv6Address(host[1:-1])
        except ValueError:
            raise Refused("not an IPv6 address")
        host = "[" + address.compressed + "]"
        loopback = address.is_loopback
    elif re.fullmatch(r"[0-9]+|0x[0-9a-f]*", host.rsplit(".", 1)[-1]):
        # The browser reads short, octal and hexadecimal forms as addresses
        # too; only the dotted form it prints would match.
        try:
            address = ipaddress.IPv4Address(host)
        except ValueError:
            raise Refused("an IPv4 address must be written as four decimal numbers")
        loopback = address.is_loopback
    else:
        if not host.isascii():
            raise Refused("give an international host name in its xn-- form")
        if not all(LABEL.match(label) for label in host.split(".")):
            raise Refused("not a host name")
        loopback = host == "localhost" or host.endswith(".localhost")
    if port:
        number = int(port)
        if not 0 < number < 65536:
            raise Refused("the port must be 1 to 65535")
        port = "" if number == DEFAULT_PORTS[scheme] else ":%d" % number
    else:
        port = ""
    if scheme == "http" and not loopback:
        raise Refused("plain http only on this computer (localhost, 127.x.x.x, [::1]); use https")
    return scheme + "://" + host + port


web_url, *given = sys.argv[1:]
allowed = []
for what, text in [("QUENVARA_WEB_URL", web_url)] + [("origin", text) for text in given]:
    try:
        origin = normalise(text, is_site_url=what != "origin")
    except Refused as why:
        print("install-browser-bridge: %s %r refused: %s" % (what, text, why), file=sys.stderr)
        sys.exit(2)
    if what == "origin" and origin != text.rstrip("/"):
        print("install-browser-bridge: %s allowed as %s" % (text, origin), file=sys.stderr)
    if origin not in allowed:
        allowed.append(origin)
print(json.dumps(allowed))
PY
)

if [ -n "$host_path" ]; then
    host=$host_path
elif [ -z "$host" ]; then
    for candidate in "$root/build/default/bin/quenvara-control-host" \
                     "$root/build/ci/bin/quenvara-control-host" \
                     /usr/lib/quenvara/quenvara-control-host; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then host=$candidate; break; fi
    done
fi
if [ -z "$host_path" ]; then
    if [ -z "$host" ] || [ ! -x "$host" ]; then
        echo "install-browser-bridge: no quenvara-control-host found; build it or give --host" >&2
        exit 1
    fi
    host=$(cd "$(dirname "$host")" && pwd)/$(basename "$host")
fi
if [ ${#profiles[@]} -eq 0 ]; then
    if [ "$browser" = firefox ]; then
        profiles=("$HOME/.mozilla")
    else
        profiles=("$HOME/.config/chromium" "$HOME/.config/google-chrome")
    fi
fi
template=$root/webcontrol/extension/manifest.template.json

# The extension: the worker checks a page's origin against the list, and
# the content scripts run on the same origins only. Both browsers' manifests come from the one template: its common part, and
# the part for this browser only.
mkdir -p "$extension_dir"
cp "$root/webcontrol/extension/"*.js "$extension_dir/"
if [ "$browser" = chromium ]; then
    cp "$root/webcontrol/extension/managed-schema.json" "$extension_dir/"
fi
printf '%s\n' "$allowed" > "$extension_dir/allowed-origins.json"
made=$(python3 - "$template" "$extension_dir/manifest.json" "$allowed" "$browser" <<'PY'
import base64, hashlib, json, sys
from urllib.parse import urlsplit
template, target, allowed, browser = sys.argv[1:]
# With the port where the browser matches ports: a pattern without one
# matches every port of the host. Firefox takes no port in a pattern; the
# worker's origin check tells the ports apart there.
matches = []
for origin in json.loads(allowed):
    url = urlsplit(origin)
    if browser == "firefox":
        pattern = "%s://%s/*" % (url.scheme, url.netloc.rsplit(":", 1)[0] if url.port else url.netloc)
    else:
        pattern = origin + ("" if url.port else ":%d" % {"http": 80, "https": 443}[url.scheme]) + "/*"
    if pattern not in matches:
        matches.append(pattern)
manifest = json.loads(open(template).read().replace('"@MATCHES@"', json.dumps(matches)))
manifest.update(manifest.pop("@" + browser))
for key in [k for k in manifest if k.startswith("@")]:
    del manifest[key]
with open(target, "w") as f:
    json.dump(manifest, f, indent=2)
    f.write("\n")
# Who may start the host: Chromium names the extension by an origin made
# from its key, Firefox by the id in its manifest.
if browser == "firefox":
    extension_id = manifest["browser_specific_settings"]["gecko"]["id"]
    print(json.dumps({"allowed_extensions": [extension_id]}))
else:
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    extension_id = "".join(chr(ord("a") + int(c, 16)) for c in digest)
    print(json.dumps({"allowed_origins": ["chrome-extension://%s/" % extension_id]}))
print(extension_id)
PY
)
caller=${made%%$'\n'*}
extension_id=${made#*$'\n'}
if [ "$browser" = firefox ]; then
    # The packed form, for about:addons or a policy's install_url: the
    # extension's files (nothing else the folder may hold) at the archive's
    # root, in a fixed order and time so that the same input packs to the
    # same bytes.
    python3 - "$extension_dir" "$extension_dir.xpi" manifest.json allowed-origins.json \
        $(cd "$root/webcontrol/extension" && ls ./*.js | sed 's|^\./||') <<'PY'
import os, sys, zipfile
folder, target, *names = sys.argv[1:]
with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED) as xpi:
    for name in sorted(names):
        info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        with open(os.path.join(folder, name), "rb") as f:
            xpi.writestr(info, f.read(), zipfile.ZIP_DEFLATED)
os.replace(target + ".part", target)
PY
fi

# The host's manifest, naming the extension that may start it.
manifests=NativeMessagingHosts
[ "$browser" = chromium ] || manifests=native-messaging-hosts
for profile in "${profiles[@]}"; do
    mkdir -p "$profile/$manifests"
    python3 - "$profile/$manifests/$name.json" "$name" "$host" "$caller" <<'PY'
import json, sys
target, name, host, caller = sys.argv[1:]
manifest = {"name": name, "description": "Quenvara upload control", "path": host, "type": "stdio"}
manifest.update(json.loads(caller))
with open(target, "w") as f:
    json.dump(manifest, f, indent=2)
    f.write("\n")
PY
    echo "host manifest: $profile/$manifests/$name.json"
done
if [ "$browser" = firefox ]; then
    echo "extension ($extension_id), load it from: $extension_dir (packed: $extension_dir.xpi)"
else
    echo "extension ($extension_id), load it from: $extension_dir"
fi
