"""What the window's test scripts share: checks that print and count, a
bounded wait, and the ending that shows the uploader's log on a failure."""
import os
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
