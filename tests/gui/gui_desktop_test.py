#!/usr/bin/env python3
"""The window on a desktop as users have it: a virtual display with a window
manager (openbox) and a tray host (trayer). Hidden with its ▽ button and shown
again from the tray, the window comes back where it was; started a second
time, the program shows the running window and a box in front of the rest;
the list's hidden columns cannot be dragged open, and the file location
column carries the folder icon; while a music file is checked against a
filter service that does not answer, the window goes on painting and shows
that it is busy.

usage: gui_desktop_test.py BUILD_DIR
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gui_checks import check, control_centre, finish, probe_state, wait_for  # noqa: E402

build = os.path.abspath(sys.argv[1])
uploader = os.path.join(build, "lib", "quenvara", "QuenvaraUpLoad")
handover = os.path.join(build, "bin", "quenvara-handover")
service = os.path.join(build, "bin", "quenvara-service")
def xdotool(*args, env):
    return subprocess.run(["xdotool", *[str(a) for a in args]], env=env, capture_output=True,
                          text=True).stdout.strip()


state = probe_state


def window_rect(probe):
    m = re.search(r"^window shown=(\d) .*rect=(-?\d+),(-?\d+),", state(probe), re.M)
    return (int(m.group(1)), int(m.group(2)), int(m.group(3))) if m else None


def main():
    for tool in ("Xvfb", "openbox", "trayer", "xdotool", "xprop"):
        if shutil.which(tool) is None:
            sys.exit("missing " + tool)
    work = tempfile.mkdtemp(prefix="quenvara-desktop-")
    procs = []
    try:
        read, write = os.pipe()
        procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                       "1280x900x24", "-nolisten", "tcp"], pass_fds=[write],
                                      stderr=subprocess.DEVNULL))
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            number += os.read(read, 16)
        os.close(read)
        env = dict(os.environ, DISPLAY=":" + number.decode().strip(), QUENVARA_UI="gui",
                   QUENVARA_PIPE_DIR=os.path.join(work, "pipes"),
                   QUENVARA_CONFIG_DIR=os.path.join(work, "config"),
                   QUENVARA_GUI_PROBE=os.path.join(work, "probe"),
                   QUENVARA_WEB_URL="http://127.0.0.1:9", LANG="C.UTF-8")
        env.pop("WAYLAND_DISPLAY", None)
        # A filter service that takes the connection and never answers: the
        # music check waits out its 10 s connect limit.
        silent = socket.socket()
        silent.bind(("127.0.0.1", 0))
        silent.listen(8)
        env["QUENVARA_FILTER_URL"] = "https://127.0.0.1:%d" % silent.getsockname()[1]
        procs.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL))
        procs.append(subprocess.Popen(["trayer", "--edge", "top", "--align", "right",
                                       "--widthtype", "request", "--height", "28",
                                       "--SetDockType", "true"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(1)
        probe = env["QUENVARA_GUI_PROBE"]
        # "창 닫기" off: the window stays after its runs, to be looked at.
        os.makedirs(env["QUENVARA_CONFIG_DIR"])
        with open(os.path.join(env["QUENVARA_CONFIG_DIR"], "quenvara.ini"), "w") as f:
            f.write("[CheckFirstAutoOff]\nValue1=no\n")
        with open(os.path.join(env["QUENVARA_CONFIG_DIR"], "QuenvaraUpLoad.INI"), "w") as f:
            f.write("[Setting]\nAutoEnd=0\n")
        port_file = os.path.join(work, "port")
        procs.append(subprocess.Popen([service, "--storage", os.path.join(work, "store"),
                                       "--port-file", port_file], stdout=subprocess.DEVNULL))
        port = wait_for(lambda: os.path.exists(port_file) and open(port_file).read().strip(), 10)
        log = open(os.path.join(work, "uploader.log"), "w")
        up = subprocess.Popen([uploader], env=env, stdout=log, stderr=subprocess.STDOUT)
        procs.append(up)
        if not check(bool(wait_for(lambda: (window_rect(probe) or (0,))[0] == 1, 20)),
                     "the window came up under the window manager"):
            return finish(work)
        time.sleep(1)

        # Hidden with ▽, shown again by a double-click on the tray icon: where it was.
        window = xdotool("search", "--pid", up.pid, "--onlyvisible", "--name", "퀜바라", env=env)
        window = window.splitlines()[0] if window else ""
        xdotool("windowmove", window, 200, 150, env=env)
        check(bool(wait_for(lambda: window_rect(probe) == (1, 200, 150), 5)),
              "moved to 200,150: %s" % (window_rect(probe),))
        hide = control_centre(probe, "button 1030")
        xdotool("mousemove", *hide, "click", 1, env=env)
        check(bool(wait_for(lambda: (window_rect(probe) or (1,))[0] == 0, 5)),
              "▽ hides the window in the tray")
        width = int(xdotool("getdisplaygeometry", env=env).split()[0])
        xdotool("mousemove", width - 14, 14, "click", "--repeat", 2, "--delay", 80, 1, env=env)
        check(bool(wait_for(lambda: window_rect(probe) == (1, 200, 150), 5)),
              "shown from the tray, it comes back where it was: %s" % (window_rect(probe),))

        # Started again while it is in the tray: the running window shows, and
        # the second start's box stands in front of everything.
        xdotool("mousemove", *control_centre(probe, "button 1030"), "click", 1, env=env)
        wait_for(lambda: (window_rect(probe) or (1,))[0] == 0, 5)
        second = subprocess.Popen([uploader], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        procs.append(second)
        check(bool(wait_for(lambda: (window_rect(probe) or (0,))[0] == 1, 10)),
              "a second start shows the running window")
        box = wait_for(lambda: xdotool("search", "--pid", second.pid, "--onlyvisible", "--name",
                                       "퀜바라 파일 올리기", env=env), 10)
        box = box.splitlines()[0] if box else ""
        above = subprocess.run(["xprop", "-id", box, "_NET_WM_STATE"], env=env,
                               capture_output=True, text=True).stdout if box else ""
        check("_NET_WM_STATE_ABOVE" in above, "its box stays in front: %s" % above.strip())
        xdotool("windowactivate", "--sync", box, env=env)
        xdotool("key", "Return", env=env)
        try:
            status = second.wait(timeout=10)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 1, "the second start ends with status 1 (%s)" % status)

        # A music file checked against the silent service: the window shows its
        # busy dialog and goes on painting (no refresh more than 1.5 s late).
        song = os.path.join(work, "곡.mp3")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=3", "-q:a", "9", song], check=True)
        began_ms = time.monotonic() * 1000
        giving = subprocess.Popen([handover, "--server", "127.0.0.1", "--port", port,
                                   "--section", "07", "--registrant", "t", "--music",
                                   "NY:곡.mp3", song], env=env, stdout=subprocess.DEVNULL)
        busy = False
        while giving.poll() is None and time.monotonic() * 1000 - began_ms < 90_000:
            busy = busy or "folderwait open=1" in state(probe)
            time.sleep(0.05)
        ended_ms = time.monotonic() * 1000
        check(busy, "the busy dialog showed during the check")
        check(ended_ms - began_ms > 5000, "the hand-over waited for the music check (%d ms)"
              % (ended_ms - began_ms))
        late = state(probe).split("late-refreshes")[-1].split()
        gaps = [int(g) for at, g in (e.split(":") for e in late) if began_ms <= int(at) <= ended_ms]
        check(not any(g > 1500 for g in gaps), "the window painted during the check: %s" % gaps)
        check(bool(wait_for(lambda: re.search(r"^row 0 .*곡\.mp3", state(probe), re.M), 5)),
              "the music file has its row: %s" % re.findall(r"^row .*", state(probe), re.M))

        # The hidden columns' dividers: dragged to the right, they stay shut.
        s = wait_for(lambda: (lambda t: t if re.search(r"^row 0 ", t, re.M) else "")(
            state(probe)), 10)
        widths = [int(w) for w in re.findall(r"^heading \d+ .* width=(\d+)", s, re.M)]
        lst = re.search(r"^list rect=(\d+),(\d+),", s, re.M)
        win = window_rect(probe)
        if check(len(widths) == 8 and lst is not None and win is not None,
                 "the probe tells the columns and the list's place"):
            for hidden in (3, 5, 7):
                x = win[1] + int(lst.group(1)) + sum(widths[:hidden]) + 1
                y = win[2] + int(lst.group(2)) + 8
                xdotool("mousemove", x, y, "mousedown", 1, "mousemove", x + 60, y, "mouseup", 1,
                        env=env)
                time.sleep(0.3)
            now = [int(w) for w in re.findall(r"^heading \d+ .* width=(\d+)", state(probe),
                                              re.M)]
            check(len(now) == 8 and now[3] == now[5] == now[7] == 0,
                  "columns 3, 5 and 7 stay shut: %s" % now)
        row = re.search(r"^row 0 .*location-image=(-?\d+)", state(probe), re.M)
        check(row is not None and int(row.group(1)) >= 0,
              "the file location column shows the folder icon (%s)" %
              (row.group(1) if row else "no row"))
        run_end_checks(env, probe, port, work)
        return finish(work)
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.kill()
                p.wait()
        shutil.rmtree(work, ignore_errors=True)


def run_end_checks(env, probe, port, work):
    """How runs end as the window shows them, and what closing it says."""
    start = "button 1012 enabled=1 look=start"
    # The music file's run: complete, the bar full, the button offering a start.
    check(bool(wait_for(lambda: re.search(r'^box caption=.*등록하기가 완료되었습니다', state(probe),
                                          re.M), 30)), "the complete run's box")
    wait_for(lambda: re.search(r"^box $", state(probe), re.M), 15)
    s = state(probe)
    check('bar 1002 text="100%"' in s and start in s,
          "after a complete run: 100 %% and the start look: %s / %s" % (
              re.findall(r"^bar 1002 .*", s, re.M), re.findall(r"^button 1012 .*", s, re.M)))

    # A folder's files queue in name order, whatever order they were made in.
    folder = os.path.join(work, "모음")
    os.makedirs(folder)
    for i in (7, 3, 11, 1, 9, 5, 12, 2, 10, 4, 8, 6):
        with open(os.path.join(folder, "%02d.txt" % i), "w") as f:
            f.write("x" * i)
    subprocess.run([handover, "--server", "127.0.0.1", "--port", port, "--registrant", "t",
                    folder], env=env, stdout=subprocess.DEVNULL, check=True)
    names = wait_for(lambda: (lambda n: n if len(n) == 13 else None)(
        re.findall(r"^row \d+ [^|]*\| ([^|]*?) \|", state(probe), re.M)), 10) or []
    check(names[1:] == ["%02d.txt" % i for i in range(1, 13)],
          "the folder's files are queued in name order: %s" % names[1:])

    # One of them gone before its turn: the run says so when it ends.
    os.remove(os.path.join(folder, "05.txt"))
    wait_for(lambda: "folderwait open=0" in state(probe), 10)  # the busy dialog closed
    xdotool("mousemove", *control_centre(probe, "button 1012"), "click", 1, env=env)
    box = wait_for(lambda: re.search(r'^box caption=.*1 개 파일을 올리지 못했습니다', state(probe),
                                     re.M), 30)
    check(bool(box), "a run with a file not sent says so in a box: %s" % (
        re.findall(r"^(?:box|row \d+) .*", state(probe), re.M)[-4:],))
    s = state(probe)
    check(start in s and 'static 1006 "0 KBps"' in s,
          "after that run: the start look and no speed left: %s / %s" % (
              re.findall(r"^button 1012 .*", s, re.M), re.findall(r"^static 1006 .*", s, re.M)))
    xdotool("key", "Return", env=env)
    wait_for(lambda: re.search(r"^box $", state(probe), re.M), 10)

    # × with a file not sent yet: the question says it goes with the list.
    extra = os.path.join(work, "남은 파일.txt")
    with open(extra, "w") as f:
        f.write("left")
    subprocess.run([handover, "--server", "127.0.0.1", "--port", port, "--registrant", "t",
                    extra], env=env, stdout=subprocess.DEVNULL, check=True)
    xdotool("mousemove", *control_centre(probe, "button 1036"), "click", 1, env=env)
    question = wait_for(lambda: re.search(r'^box caption="퀜바라 파일 올리기" text="퀜바라 등록창을',
                                          state(probe), re.M), 10)
    text = state(probe)
    check(bool(question) and "아직 올리지 않은 파일" in text,
          "the quit question names the files not sent: %s" % re.findall(r"^box .*", text, re.M))
    xdotool("key", "Escape", env=env)


if __name__ == "__main__":
    sys.exit(main())
