#!/usr/bin/env python3
"""The browser bridge end to end, in headless Chromium or Firefox: the
extension and the native host installed into a fresh profile by the install
script, our sample page on an allowed origin picks a folder of 60 files and a
single file (scripted dialog answers), sets its values and runs; the uploader
starts headless by itself and the reference service stores every file
identical. When its host dies, the page is told and its open call fails, and
the next call gets a new host. An origin allowed in capitals gets answers; a
path the person did not pick is refused; a page on an origin that was not
allowed gets no control. In Firefox, origins from managed storage are checked
too.

One scenario, two drivers: Chromium over the DevTools protocol on a pipe,
Firefox over WebDriver BiDi on a loopback WebSocket (Debian's
python3-websocket); Firefox installs the packed .xpi as a temporary add-on.

usage: browser_bridge_test.py SOURCE_DIR BUILD_DIR [chromium|firefox]
"""
import filecmp
import functools
import http.server
import json
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

source, build = (os.path.abspath(a) for a in sys.argv[1:3])
browser_name = sys.argv[3] if len(sys.argv) > 3 else "chromium"
FIREFOX_ID = "upload-control@quenvara.example"
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def serve(folder):
    """The sample page on a loopback port of its own; returns its origin."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass
    handler = functools.partial(Quiet, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return "http://127.0.0.1:%d" % server.server_address[1]


def wait_or_kill(proc):
    """A browser asked to close gets 10 s to do so."""
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Chromium:
    """Chromium with --remote-debugging-pipe: JSON messages ending in NUL,
    written to its fd 3, read from its fd 4."""

    def __init__(self, profile, extension, env, log):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()
        # The browser sees the pipes as its fds 3 and 4.
        self.proc = subprocess.Popen(
            ["bash", "-c", 'exec "$@" 3<&%d 4>&%d' % (to_chrome_r, from_chrome_w), "chromium",
             "/usr/bin/chromium", "--headless=new", "--no-sandbox", "--disable-gpu",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-quic", "--user-data-dir=" + profile,
             "--load-extension=" + extension, "--disable-extensions-except=" + extension,
             "--remote-debugging-pipe", "about:blank"],
            env=env, pass_fds=(to_chrome_r, from_chrome_w),
            stdout=subprocess.DEVNULL, stderr=log)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b""
        self.next_id = 0

    def send(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_chrome, json.dumps(message).encode() + b"\0")
        deadline = time.time() + timeout
        while time.time() < deadline:
            while b"\0" in self.buffer:
                raw, self.buffer = self.buffer.split(b"\0", 1)
                reply = json.loads(raw)
                if reply.get("id") == self.next_id:
                    if "error" in reply:
                        raise RuntimeError("%s: %s" % (method, reply["error"]))
                    return reply["result"]
            chunk = os.read(self.from_chrome, 65536)
            if not chunk:
                raise RuntimeError("Chromium closed its pipe")
            self.buffer += chunk
        raise RuntimeError(method + ": no answer")

    def open(self, url):
        """A new tab on the page, once it has loaded."""
        target = self.send("Target.createTarget", {"url": url})["targetId"]
        session = self.send("Target.attachToTarget", {"targetId": target,
                                                      "flatten": True})["sessionId"]
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                if self.evaluate(session, "location.href + ' ' + document.readyState",
                                 timeout=5) == url + " complete":
                    return session
            except RuntimeError:
                pass  # the context went away while the page was loading
            time.sleep(0.1)
        raise RuntimeError("the page did not load: " + url)

    def evaluate(self, session, expression, timeout=60):
        result = self.send("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session, timeout)
        if "exceptionDetails" in result:
            raise RuntimeError(json.dumps(result["exceptionDetails"])[:500])
        return result["result"].get("value")

    def close(self):
        try:
            self.send("Browser.close", timeout=5)
        except Exception:
            pass
        wait_or_kill(self.proc)


def plain(value):
    """A WebDriver BiDi remote value as the Python value it stands for."""
    kind = value.get("type")
    if kind in ("string", "boolean"):
        return value["value"]
    if kind == "number":
        number = value["value"]
        return float(number) if isinstance(number, str) else number
    if kind == "array":
        return [plain(v) for v in value.get("value", [])]
    if kind == "object":
        return {k if isinstance(k, str) else plain(k): plain(v) for k, v in value.get("value", [])}
    if kind in ("undefined", "null"):
        return None
    return "<%s>" % kind


class Firefox:
    """Firefox with --remote-debugging-port=0: it names the WebDriver BiDi
    address it chose on its standard error; the extension is installed as a
    temporary add-on, as about:debugging does."""

    def __init__(self, profile, xpi, env, log):
        import websocket  # Debian's python3-websocket
        os.makedirs(profile, exist_ok=True)
        # An idle background script is put to sleep after 1 s (30 s by
        # default; the value is in ms), so that the scenario's pause covers it.
        with open(os.path.join(profile, "user.js"), "w") as f:
            f.write('user_pref("extensions.background.idle.timeout", 1000);\n')
        self.proc = subprocess.Popen(
            ["/usr/bin/firefox-esr", "--headless", "--no-remote", "--profile", profile,
             "--remote-debugging-port=0", "about:blank"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            address = queue.Queue()

            def pump():
                for raw in self.proc.stderr:
                    line = raw.decode(errors="replace")
                    log.write(line)
                    match = re.search(r"WebDriver BiDi listening on (ws://\S+)", line)
                    if match:
                        address.put(match[1])
            threading.Thread(target=pump, daemon=True).start()
            try:
                url = address.get(timeout=60)
            except queue.Empty:
                raise RuntimeError("Firefox named no WebDriver BiDi address within 60 s")
            # The remote agent turns away a handshake that names an origin.
            self.socket = websocket.create_connection(url + "/session", suppress_origin=True,
                                                      timeout=30)
            self.next_id = 0
            self.send("session.new", {"capabilities": {}})
            self.send("webExtension.install",
                      {"extensionData": {"type": "archivePath", "path": xpi}})
        except BaseException:
            self.proc.kill()
            self.proc.wait()
            raise

    def send(self, method, params, timeout=30):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        self.socket.settimeout(timeout)
        while True:
            reply = json.loads(self.socket.recv())
            if reply.get("id") == self.next_id:
                if reply.get("type") == "error":
                    raise RuntimeError("%s: %s" % (method, reply.get("message", reply)))
                return reply["result"]

    def open(self, url):
        context = self.send("browsingContext.create", {"type": "tab"})["context"]
        self.send("browsingContext.navigate", {"context": context, "url": url, "wait": "complete"})
        return context

    def evaluate(self, context, expression, timeout=60):
        result = self.send("script.evaluate", {
            "expression": expression, "target": {"context": context}, "awaitPromise": True,
            "serializationOptions": {"maxObjectDepth": 8}}, timeout)
        if result["type"] == "exception":
            raise RuntimeError(json.dumps(result["exceptionDetails"])[:500])
        return plain(result["result"])

    def close(self):
        try:
            self.send("browser.close", {}, timeout=5)
        except Exception:
            pass
        wait_or_kill(self.proc)


def pids_of(program):
    program = program.encode()
    pids = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                if f.read().split(b"\0")[0] == program:
                    pids.append(entry)
        except (OSError, ValueError):
            pass
    return pids


def end_uploader():
    """The uploader the control started closes by itself after its last
    file; one that does not is ended, and gone before the next test."""
    uploader = os.path.join(build, "lib", "quenvara", "QuenvaraUpLoad")
    deadline = time.time() + 30
    while pids_of(uploader) and time.time() < deadline:
        time.sleep(0.2)
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in pids_of(uploader):
            try:
                os.kill(int(pid), sig)
            except ProcessLookupError:
                pass
        deadline = time.time() + 10
        while pids_of(uploader) and time.time() < deadline:
            time.sleep(0.1)


WAIT_FOR_CONTROL = """new Promise((resolve) => {
  if (window.QuenvaraUploadControl) return resolve(true);
  window.addEventListener('quenvara-control-ready', () => resolve(true));
  setTimeout(() => resolve(!!window.QuenvaraUploadControl), %d);
})"""

# A call's outcome, or "hang" when there is none within 10 s.
OUTCOME = """Promise.race([
  %s.then((answer) => ({ answer }), (error) => ({ error: error.message })),
  new Promise((resolve) => setTimeout(() => resolve("hang"), 10000)),
])"""


def main():
    work = tempfile.mkdtemp(prefix="quenvara-bridge-")
    procs = []
    browser = None
    try:
        files = os.path.join(work, "files")
        album = os.path.join(files, "앨범")
        os.makedirs(os.path.join(album, "여름"))
        # 60 files: a nested one, a music file, and the rest of many sizes.
        names = [("여름/사진2.jpg", 80_000), ("곡.mp3", 50_000)]
        names += [("사진%02d.jpg" % i, 1 + i * 2_111) for i in range(1, 59)]
        for name, size in names:
            with open(os.path.join(album, name), "wb") as f:
                f.write(os.urandom(size))
        single = os.path.join(files, "보고서.pdf")
        with open(single, "wb") as f:
            f.write(os.urandom(200_000))
        answers = os.path.join(work, "answers")
        with open(answers, "w", encoding="utf-8") as f:
            # The first dialog of every host stays open 1.5 s, as a person's would.
            f.write("@1500 " + album + "\n" + single + "\n")

        store = os.path.join(work, "store")
        port_file = os.path.join(work, "port")
        procs.append(subprocess.Popen([os.path.join(build, "bin", "quenvara-service"), "--storage",
                                       store, "--port-file", port_file],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.time() + 10
        while time.time() < deadline and not (os.path.exists(port_file) and open(port_file).read()):
            time.sleep(0.05)
        service_port = open(port_file).read().strip()

        allowed = serve(os.path.join(source, "webcontrol", "sample"))
        other = serve(os.path.join(source, "webcontrol", "sample"))
        # Allowed as written in capitals; the browser reports the page's origin
        # in lower case.
        shouted_port = serve(os.path.join(source, "webcontrol", "sample")).rsplit(":", 1)[1]
        firefox = browser_name == "firefox"
        # Firefox finds host manifests and managed storage under ~/.mozilla.
        profile = os.path.join(work, ".mozilla" if firefox else "profile")
        extension = os.path.join(work, "extension")
        host = os.path.join(build, "bin", "quenvara-control-host")
        subprocess.run([os.path.join(source, "scripts", "install-browser-bridge.sh"),
                        "--profile", profile, "--allow-origin", allowed,
                        "--allow-origin", "HTTP://LOCALHOST:" + shouted_port, "--host", host,
                        "--extension-dir", extension] + (["--firefox"] if firefox else []),
                       check=True, stdout=subprocess.DEVNULL)
        if firefox:
            # Origins from managed storage: one in the browser's own form, one
            # that is not (refused by the worker's rule), one plain http off
            # this computer.
            policy_origin = serve(os.path.join(source, "webcontrol", "sample"))
            misspelt = serve(os.path.join(source, "webcontrol", "sample"))
            os.makedirs(os.path.join(profile, "managed-storage"))
            with open(os.path.join(profile, "managed-storage", FIREFOX_ID + ".json"), "w") as f:
                json.dump({"name": FIREFOX_ID, "description": "test policy", "type": "storage",
                           "data": {"allowedOrigins": [policy_origin + "/",
                                                       misspelt.upper(), "http://example.com"]}}, f)

        pipes = os.path.join(work, "pipes")
        env = dict(os.environ, QUENVARA_PIPE_DIR=pipes,
                   QUENVARA_CONFIG_DIR=os.path.join(work, "config"),
                   QUENVARA_SYSTEM_DIR=os.path.join(build, "lib", "quenvara"),
                   QUENVARA_UI="headless", QUENVARA_DIALOG_ANSWERS=answers,
                   QUENVARA_WEB_URL="https://quenvara.example", HOME=work)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        log = open(os.path.join(work, "browser.log"), "w")
        if firefox:
            browser = Firefox(os.path.join(work, "firefox-profile"), extension + ".xpi", env, log)
        else:
            browser = Chromium(profile, extension, env, log)

        session = browser.open(allowed + "/index.html")
        check(browser.evaluate(session, WAIT_FOR_CONTROL % 15000) is True,
              "the sample page on an allowed origin has window.QuenvaraUploadControl")
        flow = """(async () => {
          document.getElementById('port').value = '%s';
          const folder = await window.sample.chooseFolder();
          // A person looks at the pick before going on: the host holding it
          // must outlive an idle browser's housekeeping.
          await new Promise((resolve) => setTimeout(resolve, 5000));
          await window.sample.setValues();
          await window.sample.run();
          const file = await window.sample.chooseFile();
          await window.sample.setValues();
          await window.sample.run();
          return { folder, file, status: document.getElementById('status').textContent,
                   members: Object.keys(window.QuenvaraUploadControl).length,
                   port: await window.QuenvaraUploadControl.dwServerPort() };
        })()""" % service_port
        result = browser.evaluate(session, flow, timeout=120)
        print(json.dumps(result, ensure_ascii=False, indent=1))
        check(result["members"] == 19, "19 members, each a method")
        check(result["port"] == int(service_port), "a property reads back what was written")
        check(result["folder"]["path"] == album and len(result["folder"]["files"]) == 60,
              "the folder's census: %s" % result["folder"]["files"])
        check(len(result["folder"]["music"]) == 1 and
              result["folder"]["music"][0].startswith("곡.mp3:**:50000:**:"),
              "the folder's music: %s" % result["folder"]["music"])
        check(result["file"]["path"] == single, "the single file was chosen")

        expected = [os.path.join(d, n) for d, _, ns in os.walk(files) for n in ns]
        deadline = time.time() + 120
        stored = {}
        while time.time() < deadline:
            stored = {}
            for d, _, ns in os.walk(store):
                for n in ns:
                    stored.setdefault(n, []).append(os.path.join(d, n))
            done = [e for e in expected
                    if any(filecmp.cmp(e, s, shallow=False) for s in stored.get(os.path.basename(e), []))]
            if len(done) == len(expected):
                break
            time.sleep(0.25)
        for e in expected:
            same = any(filecmp.cmp(e, s, shallow=False) for s in stored.get(os.path.basename(e), []))
            check(same, "stored identical: " + os.path.relpath(e, files))
        check(os.path.exists(os.path.join(work, "config", "QuenvaraUpLoad.INI")),
              "the uploader was started by the control (its settings were written)")

        # The host stopped holds a call open, then dies under it.
        hosts = pids_of(host)
        for pid in hosts:
            os.kill(int(pid), signal.SIGSTOP)
        browser.evaluate(session, """window.replaced = [];
          window.addEventListener('quenvara-control-host-replaced', (e) => window.replaced.push(e.detail));
          window.open_call = %s; true""" % (OUTCOME % "window.QuenvaraUploadControl.GetFileName()"))
        for pid in hosts:
            os.kill(int(pid), signal.SIGKILL)
        outcome = browser.evaluate(session, "window.open_call")
        replaced = browser.evaluate(session, "window.replaced")
        check(len(hosts) == 1 and isinstance(outcome, dict) and "host" in outcome.get("error", ""),
              "the call open when the host died fails: %s" % outcome)
        check(len(replaced) == 1 and "host" in replaced[0],
              "the page is told its host was replaced: %s" % replaced)
        outcome = browser.evaluate(session, OUTCOME % "window.QuenvaraUploadControl.GetFileName()")
        check(isinstance(outcome, dict) and outcome.get("answer") == "",
              "the next call is answered by a new host, holding nothing: %s" % outcome)

        session = browser.open("http://localhost:%s/index.html" % shouted_port)
        present = browser.evaluate(session, WAIT_FOR_CONTROL % 15000)
        outcome = browser.evaluate(session, OUTCOME % "window.QuenvaraUploadControl.dwServerPort()")
        check(present is True and isinstance(outcome, dict) and outcome.get("answer") == 0,
              "an origin allowed in capitals gets answers: %s" % outcome)

        # A page path the person never picked is refused, whether the file
        # exists or not, and nothing of it reaches the service.
        secret = os.path.join(work, "secret.key")
        with open(secret, "wb") as f:
            f.write(b"private")
        probe = """(async () => {
          const c = window.QuenvaraUploadControl, notices = [];
          window.addEventListener('quenvara-control-notice', (e) => notices.push(e.detail));
          await c.strCmdServerIP('127.0.0.1'); await c.dwServerPort(%s);
          await c.SetUpValue('파일경로', %s);
          await c.SetUpValue('파일경로', %s);
          await c.RunUploadModule();
          const opening = c.ShowSelectDlg(1);
          await new Promise((r) => setTimeout(r, 300));
          const open = await c.IsOpenSelectDlg();
          const chosen = await opening;
          return { notices, open, chosen, after: await c.IsOpenSelectDlg() };
        })()""" % (service_port, json.dumps(secret), json.dumps(secret + ".missing"))
        outcome = browser.evaluate(session, probe, timeout=60)
        refused = [n for n in outcome["notices"] if "선택하지 않은" in n]
        check(len(refused) == 2 and refused[0] == refused[1],
              "a path the page did not pick is refused alike, present or not: %s" % outcome)
        time.sleep(1)
        leaked = [os.path.join(d, n) for d, _, ns in os.walk(store) for n in ns
                  if n.startswith("secret")]
        check(not leaked, "nothing of it was stored: %s" % leaked)
        check(outcome["open"] is True and outcome["chosen"] == album and outcome["after"] is False,
              "IsOpenSelectDlg reads true while the dialog is open: %s" % outcome)

        # After that real pick, texts that walk out of it as the records read
        # them: a backslash, a cut at the 511-byte field, a leftover name.
        private = os.path.join(files, "비밀")
        os.makedirs(os.path.join(private, "x"))
        with open(os.path.join(private, "id_key"), "wb") as f:
            f.write(b"private key")
        walk_out = album
        while len(walk_out.encode("cp949")) < 480:
            walk_out += "/."
        walk_out += "/../비밀/" + "../" * 40 + album.lstrip("/") + "/여름/y"
        escapes = [
            [["폴더경로", album + "/."], ["폴더경로", album + "/..\\비밀/x"]],
            [["폴더경로", walk_out]],
            [["폴더경로", album + "/여름/.."], ["폴더경로", album + "/nothing-here"]],
        ]
        escape = """(async () => {
          const c = window.QuenvaraUploadControl, outcomes = [];
          for (const calls of %s) {
            const notices = [];
            const listen = (e) => notices.push(e.detail);
            window.addEventListener('quenvara-control-notice', listen);
            for (const [key, value] of calls) {
              await c.SetUpValue(key, value);
            }
            outcomes.push({ notices, name: await c.GetFileName(), list: await c.GetFileList() });
            await c.RunUploadModule();
            window.removeEventListener('quenvara-control-notice', listen);
          }
          return outcomes;
        })()""" % json.dumps(escapes, ensure_ascii=False)
        outcomes = browser.evaluate(session, escape, timeout=60)
        for i, o in enumerate(outcomes):
            check(any("선택하지 않은" in n for n in o["notices"]),
                  "escape text %d is refused: %s" % (i + 1, o))
            check(o["name"] != ".." and "id_key" not in o["list"] and "x" not in o["list"].split("|"),
                  "escape text %d lists nothing outside the pick: %s" % (i + 1, o))
        time.sleep(1)
        leaked = [os.path.join(d, n) for d, _, ns in os.walk(store) for n in ns if n == "id_key"]
        check(not leaked, "nothing outside the pick was stored: %s" % leaked)

        session = browser.open(other + "/index.html")
        present = browser.evaluate(session, WAIT_FOR_CONTROL % 1500)
        check(present is False, "a page on another origin gets no QuenvaraUploadControl")
        # Its scripts may post what the control's would: no host starts and
        # no answer comes (in Firefox the bridge runs on every port of the
        # host, and waits for the worker's word on the origin).
        hosts_before = len(pids_of(host))
        forged = browser.evaluate(session, """new Promise((resolve) => {
          window.addEventListener('message', (e) => {
            if (e.data && e.data.source === 'quenvara-control-bridge') resolve(e.data);
          });
          window.postMessage({ source: 'quenvara-control-page', id: 1, member: 'GetFileName',
                               args: [], generation: 0 }, window.location.origin);
          setTimeout(() => resolve('nothing'), 2000);
        })""")
        check(forged == "nothing" and len(pids_of(host)) == hosts_before,
              "a forged call from another origin gets nothing and starts no host: %s" % forged)

        if firefox:
            session = browser.open(policy_origin + "/index.html")
            present = browser.evaluate(session, WAIT_FOR_CONTROL % 15000)
            outcome = browser.evaluate(session, OUTCOME % "window.QuenvaraUploadControl.dwServerPort()")
            check(present is True and isinstance(outcome, dict) and outcome.get("answer") == 0,
                  "an origin from managed storage gets answers: %s" % outcome)
            session = browser.open(misspelt + "/index.html")
            present = browser.evaluate(session, WAIT_FOR_CONTROL % 1500)
            check(present is False, "an origin managed storage names in another form gets no control")
    finally:
        end_uploader()
        if browser:
            browser.close()
        for p in procs:
            p.kill()
            p.wait()
        if failures:
            log = os.path.join(work, "browser.log")
            if os.path.exists(log):
                print(open(log, errors="replace").read()[-4000:])
        shutil.rmtree(work, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
