#!/usr/bin/env python3
"""The origins install-browser-bridge.sh allows: each is written in the form
the browser reports a page's origin in, to the list the extension's worker
checks and to the content scripts' matches alike, for Chromium and for
Firefox; what could not be matched exactly, or would open the control to
unknown pages, is refused with status 2 and nothing is written.

usage: bridge_origins_test.py SOURCE_DIR
"""
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys
import tempfile

script = os.path.join(os.path.abspath(sys.argv[1]), "scripts", "install-browser-bridge.sh")
SITE = "https://quenvara.example"
failures = []

# (--allow-origin, allowed as; None: refused)
ORIGINS = [
    ("HTTP://LOCALHOST:8002", "http://localhost:8002"),
    ("http://127.0.0.2:80", "http://127.0.0.2"),
    ("https://Site.Example:443/", "https://site.example"),
    ("https://site.example:8443", "https://site.example:8443"),
    ("http://[::1]:8080", "http://[::1]:8080"),
    ("http://[0:0::1]:80", "http://[::1]"),
    ("http://app.localhost:3000", "http://app.localhost:3000"),
    ("http://*.localhost:8003", None),
    ("http://*", None),
    ("https://*.site.example", None),
    ("https://user@site.example", None),
    ("https://site.example/path", None),
    ("https://site.example#top", None),
    ("ftp://x", None),
    ("site.example", None),
    ("http://example.com", None),
    ("http://10.0.0.1:8080", None),
    ("http://127.1", None),
    ("http://0x7f000001", None),
    ("https://site.example:65536", None),
    ("https://exa mple.com", None),
    ("https://bücher.example", None),
]

# (QUENVARA_WEB_URL, allowed as; None: refused)
SITES = [
    (None, SITE),
    ("HTTPS://Quenvara.Example:443/upload/", SITE),
    ("http://quenvara.example", None),
    ("https://*.quenvara.example", None),
]


def check(ok, what, details):
    print(("ok   " + what) if ok else ("FAIL %s: %s" % (what, details)), flush=True)
    if not ok:
        failures.append(what)


def install(origins, site=None, browser="chromium"):
    """The script's status, its stderr, and the list and matches written
    (None when not written)."""
    work = tempfile.mkdtemp(prefix="quenvara-origins-")
    try:
        env = dict(os.environ, HOME=work)
        env.pop("QUENVARA_WEB_URL", None)
        if site is not None:
            env["QUENVARA_WEB_URL"] = site
        command = [script, "--profile", os.path.join(work, "profile"), "--host", "/bin/true",
                   "--extension-dir", os.path.join(work, "extension")]
        for origin in origins:
            command += ["--allow-origin", origin]
        if browser == "firefox":
            command.append("--firefox")
        run = subprocess.run(command, env=env, capture_output=True, text=True)
        written = None
        if os.path.exists(os.path.join(work, "extension", "allowed-origins.json")):
            with open(os.path.join(work, "extension", "allowed-origins.json")) as f:
                allowed = json.load(f)
            with open(os.path.join(work, "extension", "manifest.json")) as f:
                matches = [s["matches"] for s in json.load(f)["content_scripts"]]
            written = (allowed, matches)
        elif os.path.exists(os.path.join(work, "profile")):
            written = "the host manifest alone"
        return run.returncode, run.stderr, written
    finally:
        shutil.rmtree(work, ignore_errors=True)


def patterns(origins, browser):
    """Chromium's patterns name the port: without one a pattern matches every
    port. Firefox's take none; one per host."""
    out = []
    for origin in origins:
        scheme, rest = origin.split("://")
        has_port = ":" in rest.rsplit("]", 1)[-1]
        if browser == "firefox":
            pattern = scheme + "://" + (rest.rsplit(":", 1)[0] if has_port else rest) + "/*"
        else:
            pattern = origin + ("" if has_port else {"http": ":80", "https": ":443"}[scheme]) + "/*"
        if pattern not in out:
            out.append(pattern)
    return out


def expect(what, allowed_as, browser, status, stderr, written):
    what = "%s: %s" % (browser, what)
    details = "status %d, %r, wrote %s" % (status, stderr, written)
    if allowed_as is None:
        check(status == 2 and len(stderr.splitlines()) == 1 and "refused" in stderr
              and written is None, what + " refused", details)
    else:
        check(status == 0 and written == (allowed_as, [patterns(allowed_as, browser)] * 2),
              "%s allowed as %s" % (what, allowed_as[-1]), details)


def main():
    cases = [(o, [o], None, a and [SITE, a]) for o, a in ORIGINS]
    cases += [("QUENVARA_WEB_URL=%s" % s, [], s, a and [a]) for s, a in SITES]
    # The same origin in two spellings is one entry.
    cases.append(("one origin in two spellings", ["http://LOCALHOST:8002", "http://localhost:8002/"],
                  None, [SITE, "http://localhost:8002"]))
    # Two ports of one host: two origins, one Firefox pattern.
    cases.append(("two ports of one host", ["http://127.0.0.1:8001", "http://127.0.0.1:8002"],
                  None, [SITE, "http://127.0.0.1:8001", "http://127.0.0.1:8002"]))
    runs_of = [(case, browser) for browser in ("chromium", "firefox") for case in cases]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        runs = list(pool.map(lambda run: install(run[0][1], run[0][2], run[1]), runs_of))
    for ((what, _, _, allowed_as), browser), run in zip(runs_of, runs):
        expect(what, allowed_as, browser, *run)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
