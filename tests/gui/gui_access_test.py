#!/usr/bin/env python3
"""The uploader's window as a screen reader and a keyboard meet it: through the
accessibility bus, the self-drawn buttons, check boxes and bar must show their
roles, names, check states and values; and Tab, Space and Enter alone must
reach the start / stop button, stop a running upload and start it again.

Needs a display and a session bus with the accessibility bus, e.g.
  with_display.sh dbus-run-session -- python3 gui_access_test.py BUILD_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gui_checks import check, failures, probe_state, stop, wait_for  # noqa: E402

build = os.path.abspath(sys.argv[1])
uploader = os.path.join(build, "lib", "quenvara", "QuenvaraUpLoad")
service = os.path.join(build, "bin", "quenvara-service")
handover = os.path.join(build, "bin", "quenvara-handover")

START_STOP = "시작 / 정지"


def nodes(app):
    """Every accessible below the application: role, name, states, value."""
    found = []

    def walk(obj):
        for child in obj:
            if child is None:
                continue
            try:
                states = set(child.getState().getStates())
                value = None
                if child.getRole() == pyatspi.ROLE_PROGRESS_BAR:
                    value = child.queryValue().currentValue
                found.append({"role": child.getRole(), "name": child.name, "states": states,
                              "value": value})
                walk(child)
            except Exception:  # a node gone while walked; the next walk sees the new tree
                continue

    walk(app)
    return found


def of_role(tree, role):
    return [n for n in tree if n["role"] == role]


def focused(tree):
    return next((n for n in tree if pyatspi.STATE_FOCUSED in n["states"]), None)


def press(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


TAB, SPACE, RETURN = 0xFF09, 0x20, 0xFF0D


def focus_key(app):
    now = focused(nodes(app))
    return now and (now["role"].value_nick, now["name"])


def tab(app):
    """Tab, and the focus it moved to; None when it did not move."""
    before = focus_key(app)
    press(TAB)
    return wait_for(lambda: (lambda now: now if now and now != before else None)(
        focus_key(app)), 2)


def tab_to(app, role, name):
    """Tab until the focus is on the control; at most twice round the window."""
    for _ in range(40):
        if focus_key(app) == (role, name):
            return True
        if tab(app) is None:
            return False
    return False


# Every stop of Tab in the window, in order, while a run lets every button work.
TAB_ORDER = [("panel", ""), ("push-button", "퀜바라 가기"), ("push-button", "알림"),
             ("push-button", "안내"), ("text", ""), ("check-box", "알림창 끄기"),
             ("check-box", "컴퓨터 종료"), ("check-box", "창 닫기"), ("push-button", START_STOP),
             ("push-button", "완료된 항목 삭제"), ("push-button", "종료"), ("push-button", "감추기"),
             ("push-button", "최소화"), ("push-button", "최대화"), ("push-button", "종료")]


def tab_cycle(app):
    """The stops of Tab from the list round to the list again."""
    if not tab_to(app, "panel", ""):
        return []
    stops = [focus_key(app)]
    for _ in range(2 * len(TAB_ORDER)):
        now = tab(app)
        if now is None or now == stops[0]:
            break
        stops.append(now)
    return stops


def main():
    for tool in (uploader, service, handover):
        if not os.path.exists(tool):
            sys.exit("missing " + tool)
    work = tempfile.mkdtemp(prefix="quenvara-access-")
    procs = []
    try:
        env = dict(os.environ, QUENVARA_UI="gui", NO_AT_BRIDGE="0",
                   QUENVARA_PIPE_DIR=os.path.join(work, "pipes"),
                   QUENVARA_CONFIG_DIR=os.path.join(work, "config"),
                   QUENVARA_GUI_PROBE=os.path.join(work, "probe"),
                   QUENVARA_WEB_URL="http://127.0.0.1:9", LANG="C.UTF-8")
        env.pop("WAYLAND_DISPLAY", None)
        port_file = os.path.join(work, "port")
        # 1 MB a second: the 40 MB file is still being sent while the keys
        # work, also on a busy machine where the accessibility bus is slow.
        procs.append(subprocess.Popen([service, "--storage", os.path.join(work, "store"),
                                       "--port-file", port_file, "--rate", "1000000"],
                                      stdout=subprocess.DEVNULL))
        port = wait_for(lambda: os.path.exists(port_file) and open(port_file).read().strip(), 10)
        log = open(os.path.join(work, "uploader.log"), "w")
        up = subprocess.Popen([uploader], env=env, stdout=log, stderr=subprocess.STDOUT)
        procs.append(up)
        probe = env["QUENVARA_GUI_PROBE"]

        def application():
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.get_process_id() == up.pid:
                    return app
            return None

        app = wait_for(lambda: probe_state(probe) and application(), 20)
        if not check(app is not None, "the uploader is on the accessibility bus"):
            return finish(work)

        tree = wait_for(lambda: (lambda t: t if of_role(t, pyatspi.ROLE_PUSH_BUTTON) else None)(
            nodes(app)), 10) or nodes(app)
        buttons = {n["name"] for n in of_role(tree, pyatspi.ROLE_PUSH_BUTTON)}
        for name in (START_STOP, "완료된 항목 삭제", "종료", "감추기", "최소화", "최대화"):
            check(name in buttons, "a push button named %r (buttons: %s)" % (name, sorted(buttons)))
        check("" not in buttons and None not in buttons,
              "no push button without a name (the caption's dots are decoration)")
        checks = {n["name"]: pyatspi.STATE_CHECKED in n["states"]
                  for n in of_role(tree, pyatspi.ROLE_CHECK_BOX)}
        check(checks.get("창 닫기") is True and checks.get("컴퓨터 종료") is False,
              "the check boxes 창 닫기 (checked) and 컴퓨터 종료 (unchecked): %s" % checks)
        bars = [(n["name"], n["value"]) for n in of_role(tree, pyatspi.ROLE_PROGRESS_BAR)]
        check(("0%", 0) in bars, "the overall bar reads 0%% with the value 0: %s" % bars)

        big = os.path.join(work, "큰파일.bin")
        with open(big, "wb") as f:
            f.write(os.urandom(40_000_000))
        subprocess.run([handover, "--server", "127.0.0.1", "--port", port, "--section", "01",
                        "--registrant", "guitest", "--user", "1001", big], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        running = "button 1012 enabled=1 look=stop"
        stopped = "button 1012 enabled=1 look=start"
        check(bool(wait_for(lambda: running in probe_state(probe), 20)), "the upload runs")

        # The bar's value and name follow what it shows.
        def bar_agrees():
            m = re.search(r'bar 1002 text="([^"]*)"', probe_state(probe))
            shown = m.group(1) if m else None
            return [b for b in of_role(nodes(app), pyatspi.ROLE_PROGRESS_BAR)
                    if shown and shown != "0%" and b["name"] == shown and b["value"] > 0]
        check(bool(wait_for(bar_agrees, 20)),
              "the overall bar's accessible name and value follow its text")

        # The keyboard alone: the pointer off the window, the display's keyboard
        # given to the window.
        pyatspi.Registry.generateMouseEvent(0, 0, pyatspi.MOUSE_ABS)
        next(c for c in app if c is not None).queryComponent().grabFocus()
        check(focus_key(app) == TAB_ORDER[0], "the keyboard starts in the list: %s"
              % (focus_key(app),))
        stops = tab_cycle(app)
        check(stops == TAB_ORDER, "Tab goes round every control in order: %s" % stops)

        if not check(tab_to(app, "check-box", "창 닫기"), "Tab reaches 창 닫기"):
            return finish(work)
        press(SPACE)
        check(bool(wait_for(lambda: "check 1031 state=0" in probe_state(probe) and not any(
            pyatspi.STATE_CHECKED in n["states"] and n["name"] == "창 닫기"
            for n in nodes(app)), 10)), "Space unchecks 창 닫기, and its accessible state follows")
        press(SPACE)
        check(bool(wait_for(lambda: "check 1031 state=1" in probe_state(probe), 10)),
              "Space checks 창 닫기 again")

        if not check(tab_to(app, "push-button", START_STOP), "Tab reaches " + START_STOP):
            return finish(work)
        press(SPACE)
        check(bool(wait_for(lambda: stopped in probe_state(probe), 20)),
              "Space on the button stops the run: " + probe_line(probe, "button 1012"))
        # Disabled while the run winds down, the button may have lost the focus.
        if not check(tab_to(app, "push-button", START_STOP),
                     "Tab reaches " + START_STOP + " again"):
            return finish(work)
        press(RETURN)
        check(bool(wait_for(lambda: running in probe_state(probe), 20)),
              "Enter on the button starts the run again")
        return finish(work)
    finally:
        stop(procs)
        shutil.rmtree(work, ignore_errors=True)


def probe_line(probe, prefix):
    return next((line for line in probe_state(probe).splitlines() if line.startswith(prefix)), "")


def finish(work):
    log = open(os.path.join(work, "uploader.log"), encoding="utf-8", errors="replace").read()
    # GLib's complaints about the accessible objects would be logged, not shown.
    complaints = [line for line in log.splitlines()
                  if "CRITICAL" in line or "WARNING" in line or "assertion" in line.lower()]
    check(not complaints, "no toolkit complaint in the uploader's log: %s" % complaints[:3])
    if failures:
        print(log)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
