#!/usr/bin/env python3
"""The Windows uploader with its window, under Wine on a virtual display with
a window manager and a tray host: its tray icon (identifier 160, callback
message 2024) docks there; the icon's callback as the shell sends it opens
the six-line menu at the pointer, whose "감추기" and "보이기" (chosen with the
keyboard) hide and show the window, as the double click does. Another
process reads the skinned controls through Active Accessibility. The
JScript page then hands the running uploader a folder of 30 files through
the registered control and the named pipe; the window shows the rows and
bars, its start / stop button pauses the run and starts it again, every
file is stored identical at the reference service, the completion box
counts down, and the window closes by itself ("창 닫기"). A second start
asks the same-name question for a file the service already holds, and the
tray menu's "종료" ends it. Screenshots go to SHOTS.

Environment: CONTROL (QuenvaraUploadControl.dll, the uploader beside it),
or SETUP (the installer: it installs them, and the installed ones run);
HANDOVER (quenvara-handover.exe), TRAY_MESSAGE (tray_message.exe),
ACCESSIBLE_PROBE (accessible_probe.exe), PAGE (control_page.js), PREFIX (a
Wine prefix of this test's own: its desktop process must see the display),
SHOTS (the screenshots' folder).
"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "gui"))
sys.path.insert(0, os.path.join(here, "..", "..", "scripts"))
from gui_checks import (check, control_centre, failures, probe_state, start_display,  # noqa: E402
                        stop, wait_for)
import window_screenshot  # noqa: E402

run = os.path.join(here, "..", "..", "scripts", "wine-run.sh")
# The folder of the control and the uploader, once in place.
programs = windows_programs = None
setup = os.environ.get("SETUP")
shots = os.environ["SHOTS"]
CAPTION = "퀜바라 파일 올리기"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xdotool(*args, env):
    return subprocess.run(["xdotool", *[str(a) for a in args]], env=env, capture_output=True,
                          text=True).stdout.strip()


def shown(probe):
    m = re.search(r"^window shown=(\d)", probe_state(probe), re.M)
    return int(m.group(1)) if m else None


def screenshot(name, display, probe):
    """The screen from the window's left edge to the right one: the window,
    the tray host at the top and the corner notices at the bottom."""
    os.makedirs(shots, exist_ok=True)
    path = os.path.join(shots, name + ".png")
    screen = window_screenshot.grab_root(display)
    left = max((window_screenshot.window_rect(probe) or (0,))[0] - 20, 0)
    window_screenshot.save_region(screen, path, left, 0, screen[0] - left, screen[1])
    print("screenshot: " + path, flush=True)


def rows(probe):
    return [line.split(" | ")[1:] for line in probe_state(probe).splitlines()
            if line.startswith("row ")]


class Tray:
    """The icon's clicks as the shell passes them on: its callback message
    to the window (tray_message.exe); the menu is then the real one, opened
    at the pointer near the tray host and driven with the keyboard."""

    def __init__(self, env, probe):
        self.env, self.probe = env, probe
        self.at = (int(xdotool("getdisplaygeometry", env=env).split()[0]) - 100, 30)

    def send(self, *args):
        return subprocess.run([run, windows_path(os.environ["TRAY_MESSAGE"]), *args],
                              env=self.env).returncode == 0

    def double_click(self):
        check(self.send("double"), "the icon's double click reached the window")

    def choose(self, line, shot=None, display=None):
        """Opens the menu and takes its LINE-th command (1-based, separators
        not counted) with the keyboard, as a user may."""
        check(self.send("menu", *map(str, self.at)), "the icon's right click reached the window")
        time.sleep(1)
        if shot:
            screenshot(shot, display, self.probe)
        # With the main window hidden nothing of the program has the
        # keyboard: it goes to the menu, the window under the pointer. (With
        # the main window shown, taking the focus from it would close the
        # menu.)
        menu = re.search(r"WINDOW=(\d+)", xdotool("getmouselocation", "--shell", env=self.env))
        if menu and shown(self.probe) == 0:
            xdotool("windowfocus", menu.group(1), env=self.env)
        xdotool("key", *["Down"] * line, "Return", env=self.env)


def make_folder(root):
    """27 files and 3 more in a sub-folder, Korean names, as the page expects."""
    os.makedirs(os.path.join(root, "안쪽"))
    for i in range(1, 28):
        with open(os.path.join(root, "곡 %d.dat" % i), "wb") as f:
            f.write(os.urandom(20000 + i * 7919))
    for i in range(1, 4):
        with open(os.path.join(root, "안쪽", "깊은 곡 %d.dat" % i), "wb") as f:
            f.write(os.urandom(i * 65536 + 3))


def stored_identical(folder, store):
    count = 0
    for dirpath, _, names in os.walk(folder):
        for name in names:
            original = os.path.join(dirpath, name)
            relative = os.path.relpath(original, folder)
            copies = [os.path.join(d, n) for d, _, ns in os.walk(store) for n in ns
                      if os.path.join(d, n).endswith(os.sep + relative)
                      and re.search(r"/folders/grp\d/", os.path.join(d, n))]
            count += any(filecmp.cmp(original, c, shallow=False) for c in copies)
    return count


def install(env):
    """Registers the control, or installs with the installer; the folder
    of the control and the uploader, as this system and as Windows name it."""
    if not setup:
        subprocess.run([run, "regsvr32", "/s", windows_path(os.environ["CONTROL"])], env=env,
                       check=True)
        folder = os.path.dirname(os.environ["CONTROL"])
        return folder, windows_path(folder)
    subprocess.run([run, windows_path(setup), "/S"], env=env, check=True)
    query = subprocess.run([run, "reg", "query",
                            r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvara",
                            "/v", "InstallLocation", "/reg:32"], env=env, capture_output=True,
                           text=True).stdout
    folder = re.search(r"InstallLocation\s+REG_SZ\s+(.*?)\r?$", query, re.M).group(1)
    return subprocess.run([run, "winepath", "-u", folder], env=env, capture_output=True,
                          text=True).stdout.strip(), folder


def start_uploader(env, work, name):
    log = open(os.path.join(work, name + ".log"), "w")
    return subprocess.Popen([run, windows_programs + "\\QuenvaraUpLoad.exe"],
                            env=env, stdout=log, stderr=subprocess.STDOUT)


def ended(proc, seconds):
    try:
        return proc.wait(timeout=seconds) == 0
    except subprocess.TimeoutExpired:
        return False


def main():
    for tool in ("Xvfb", "openbox", "trayer", "xdotool"):
        if shutil.which(tool) is None:
            sys.exit("missing " + tool)
    host = subprocess.run(["bash", os.path.join(here, "host_tools.sh")], check=True,
                          capture_output=True, text=True).stdout.strip()
    work = tempfile.mkdtemp(prefix="quenvara-window-")
    procs = []
    xvfb, display = start_display()
    try:
        env = dict(os.environ, DISPLAY=display, QUENVARA_WINEPREFIX=os.environ["PREFIX"])
        procs.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL))
        procs.append(subprocess.Popen(["trayer", "--edge", "top", "--align", "right",
                                       "--widthtype", "request", "--height", "28",
                                       "--SetDockType", "true", "--transparent", "false",
                                       "--tint", "0x3c3c3c"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        # The prefix's desktop process starts here, with the display and the
        # tray host there to dock into.
        global programs, windows_programs
        programs, windows_programs = install(env)
        check(os.path.exists(os.path.join(programs, "QuenvaraUpLoad.exe")),
              "the uploader is in " + programs)
        folder = os.path.join(work, "files", "노래 모음")
        make_folder(folder)
        os.makedirs(os.path.join(work, "linked"))
        with open(os.path.join(work, "linked", "a.txt"), "wb") as f:
            f.write(os.urandom(1000))
        with open(os.path.join(work, "answers"), "w") as f:
            f.write(windows_path(folder) + "\n" + windows_path(os.path.join(work, "linked")) + "\n")
        store, port_file = os.path.join(work, "store"), os.path.join(work, "port")
        procs.append(subprocess.Popen([os.path.join(host, "quenvara-service"), "--storage", store,
                                       "--port-file", port_file, "--rate", "400000",
                                       "--same-name", "같은"], stdout=subprocess.DEVNULL))
        port = wait_for(lambda: os.path.exists(port_file) and open(port_file).read().strip(), 10)
        probe = os.path.join(work, "probe")
        os.makedirs(os.path.join(work, "pipes"))
        env.update(QUENVARA_UI="gui", QUENVARA_CONFIG_DIR=windows_path(os.path.join(work, "config")),
                   QUENVARA_PIPE_DIR=windows_path(os.path.join(work, "pipes")),
                   QUENVARA_GUI_PROBE=windows_path(probe),
                   QUENVARA_DIALOG_ANSWERS=windows_path(os.path.join(work, "answers")),
                   QUENVARA_WEB_URL="http://127.0.0.1:9")

        up = start_uploader(env, work, "uploader")
        procs.append(up)
        if not check(wait_for(lambda: shown(probe) == 1, 60), "the window came up"):
            return finish(work)
        state = probe_state(probe)
        tray = re.search(r"^tray .*$", state, re.M)
        check(tray and "shown=1" in tray.group(0) and "id=160 message=2024" in tray.group(0),
              "the tray icon is added with identifier 160 and message 2024: %s"
              % (tray.group(0) if tray else "no tray line"))
        check('check 1031 state=1 enabled=1 "창 닫기"' in state, '"창 닫기" is checked')
        time.sleep(1)
        screenshot("start", display, probe)
        # Read as a screen reader reads it, from another process: the
        # skinned controls tell their role, name, value and check state.
        seen = subprocess.run([run, windows_path(os.environ["ACCESSIBLE_PROBE"])], env=env,
                              capture_output=True, text=True).stdout.replace("\r", "")
        read = [check(re.search(pattern, seen), "accessible: " + what) for what, pattern in (
            ("a check box", r'role=0x2c state=0x[0-9a-f]+ name="창 닫기"'),
            ("a push button", r'role=0x2b state=0x[0-9a-f]+ name="최소화"'),
            ("a progress bar", r'role=0x30 state=0x[0-9a-f]+ name="0%" value="0%"'))]
        checked = re.search(r'role=0x2c state=0x([0-9a-f]+) name="창 닫기"', seen)
        read.append(check(checked and int(checked.group(1), 16) & 0x10,
                          '"창 닫기" reads as checked'))
        if not all(read):
            print(seen)

        icon = Tray(env, probe)
        # Each step from the state the one before left, verified: a step
        # that failed ends the chain, and the window is shown again.
        steps = [(lambda: icon.choose(3, "tray-menu", display), 0,
                  'the tray menu\'s "감추기" hides the window'),
                 (lambda: icon.choose(2), 1, 'the tray menu\'s "보이기" shows it again'),
                 (icon.double_click, 0, "a double click on the icon hides it"),
                 (icon.double_click, 1, "and a second double click shows it")]
        for action, want, what in steps:
            action()
            if not check(wait_for(lambda: shown(probe) == want, 10), what):
                icon.choose(2)
                wait_for(lambda: shown(probe) == 1, 10)
                break
        menu = re.search(r'menu="([^"]*)"', probe_state(probe))
        check(menu and menu.group(1) == "|32781 퀜바라 가기|-|32780 보이기|32779 감추기|-|32773 종료",
              "the menu's six lines: %s" % (menu.group(1) if menu else None))

        # The page: the control registered above, its folder of 30 files
        # handed to the running uploader over the named pipe.
        page = subprocess.run([run, "cscript", "//nologo", windows_path(os.environ["PAGE"]),
                               port, "30"], env=env, capture_output=True, text=True, timeout=180)
        print(page.stdout.replace("\r", ""), end="")
        check(page.returncode == 0, "the page's script ran through")

        most, tried, mid_shot = 0, False, False
        box_captions, box_text, tips = [], "", set()
        bars, remaining, speeds = set(), set(), set()
        deadline = time.time() + 240
        while time.time() < deadline and up.poll() is None:
            state = probe_state(probe)
            now = rows(probe)
            most = max(most, len(now))
            done = sum(1 for r in now if len(r) > 4 and r[4] == "완료")
            m = re.search(r'^tray .* tip="([^"]*)', state, re.M)
            if m:
                tips.add(m.group(1))
            for found, pattern in ((bars, r'bar 1002 text="([\d.]+ ?%)"'),
                                   (remaining, r'static 1005 "([^"]*)"'),
                                   (speeds, r'static 1006 "([^"]*)"')):
                m = re.search(pattern, state)
                if m:
                    found.add(m.group(1))
            button = control_centre(probe, "button 1012")
            if not tried and done >= 3 and "look=stop" in state and button:
                tried = True
                if not mid_shot:
                    screenshot("mid-upload", display, probe)
                    mid_shot = True
                xdotool("mousemove", *button, "click", 1, env=env)
                paused = wait_for(lambda: "button 1012 enabled=1 look=start" in probe_state(probe),
                                  10)
                held = [r[4] for r in rows(probe) if len(r) > 4]
                time.sleep(1.5)
                check(paused and held == [r[4] for r in rows(probe) if len(r) > 4],
                      "the start / stop button stops the run (%d of 30 done), and no row "
                      "moves on meanwhile" % done)
                xdotool("mousemove", *button, "click", 1, env=env)
                resumed = wait_for(lambda: "button 1012 enabled=1 look=stop" in probe_state(probe),
                                   10)
                check(resumed, "and starts it again")
            m = re.search(r'box caption="([^"]*)" text="([^"]*)"', state)
            if m:
                if not box_captions or box_captions[-1] != m.group(1):
                    box_captions.append(m.group(1))
                    if len(box_captions) == 2:
                        screenshot("completed", display, probe)
                box_text = m.group(2)
            time.sleep(0.1)
        check(tried, "the run was paused while it uploaded")
        check(most == 30, "30 rows shown (%d)" % most)
        check(len(bars) >= 3 and len(remaining) >= 2 and len(speeds) >= 2,
              "the overall bar, the remaining time and the speed moved: %d, %s, %s"
              % (len(bars), sorted(remaining)[:3], sorted(speeds)[:3]))
        check(any(t.startswith("등록하기 완료까지 ") for t in tips),
              "the icon's tip tells the remaining time: %s" % sorted(tips)[:2])
        check(box_text == "등록하기가 완료되었습니다.", "the completion box: %r" % box_text)
        counts = [int(c.split()[0]) for c in box_captions if c.endswith("초 후 자동 종료 됩니다.")]
        check(len(counts) >= 3 and counts == sorted(counts, reverse=True),
              "the completion box counted down: %s" % counts)
        check(ended(up, 30), "the window closed by itself")
        check(stored_identical(folder, store) == 30, "all 30 files stored identical")

        # Started again: a file whose name the service knows brings the
        # same-name question; then the tray menu's "종료" ends the program.
        same = os.path.join(work, "같은 이름.bin")
        with open(same, "wb") as f:
            f.write(os.urandom(300000))
        again = start_uploader(env, work, "again")
        procs.append(again)
        check(wait_for(lambda: shown(probe) == 1 and "shown=1" in probe_state(probe), 60),
              "started again")
        subprocess.run([run, windows_path(os.environ["HANDOVER"]),
                        "--server", "127.0.0.1", "--port", port, "--section", "01",
                        "--registrant", "guitest", "--user", "1001", windows_path(same)],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        question = wait_for(lambda: re.search(r'box caption="[^"]*" text="([^"]*같은[^"]*)"',
                                              probe_state(probe)), 30)
        check(bool(question), "the same-name question is asked")
        if question:
            time.sleep(1)
            screenshot("same-name-question", display, probe)
            xdotool("key", "Return", env=env)
        wait_for(lambda: "look=start" in probe_state(probe), 30)
        icon.choose(4)
        confirm = wait_for(lambda: re.search(r'box caption="[^"]*" text="([^"]+)"',
                                             probe_state(probe)), 5)
        if confirm:
            xdotool("key", "Return", env=env)
        check(ended(again, 30), 'the tray menu\'s "종료" ends the program')
        return finish(work)
    finally:
        stop(procs)
        subprocess.run([run, "taskkill", "/f", "/im", "quenvaraupload.exe"], env=env,
                       capture_output=True)
        if xvfb is not None:
            xvfb.kill()
            xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


def finish(work):
    for name in ("uploader.log", "again.log"):
        path = os.path.join(work, name)
        if failures and os.path.exists(path):
            print("--- " + name)
            print(open(path, encoding="utf-8", errors="replace").read())
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
