"""What the window's test scripts share: checks that print and count, a
bounded wait, and the ending that shows the uploader's log on a failure."""
import os
import re
import subprocess
import sys
import time

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def wait_for(condition, seconds=20):
    """The condition's first true answer within the time, else its last."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return condition()


def probe_state(folder):
    """What the window's widgets show, as its probe wrote them last."""
    try:
        with open(os.path.join(folder, "state.txt"), encoding="utf-8") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def finish(work):
    if failures:
        print(open(os.path.join(work, "uploader.log"), encoding="utf-8",
                   errors="replace").read())
    print("%d failures" % len(failures))
    return 1 if failures else 0


def start_display():
    """A display of our own unless one is given; Xvfb tells its number."""
    if os.environ.get("QUENVARA_GUI_TEST_DISPLAY"):
        return None, os.environ["QUENVARA_GUI_TEST_DISPLAY"]
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"], pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            sys.exit("Xvfb did not start")
        number += chunk
    os.close(read)
    return xvfb, ":" + number.decode().strip()


def control_centre(probe, prefix):
    """A child control's centre on the screen, from the probe's rectangles."""
    s = probe_state(probe)
    w = re.search(r"^window shown=1 .*rect=(-?\d+),(-?\d+),", s, re.M)
    c = re.search(r"^%s .*rect=(\d+),(\d+),(\d+)x(\d+)" % re.escape(prefix), s, re.M)
    if not w or not c:
        return None
    return (int(w.group(1)) + int(c.group(1)) + int(c.group(3)) // 2,
            int(w.group(2)) + int(c.group(2)) + int(c.group(4)) // 2)


def stop(procs):
    """Kills what a test started and is still running."""
    for p in procs:
        if p.poll() is None:
            p.kill()
            p.wait()
