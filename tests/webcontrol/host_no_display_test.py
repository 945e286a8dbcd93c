#!/usr/bin/env python3
# The control host started by the browser where no display is reachable: a
# selection cannot open, and the page is told so instead of a silent cancel.
#   host_no_display_test.py BUILD_DIR
import json
import os
import struct
import subprocess
import sys
import tempfile


def frame(message):
    body = json.dumps(message).encode()
    return struct.pack("=I", len(body)) + body


def main():
    host = os.path.join(sys.argv[1], "bin", "quenvara-control-host")
    with tempfile.TemporaryDirectory() as work:
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QUENVARA_DIALOG_ANSWERS")}
        env.update(HOME=work, QUENVARA_PIPE_DIR=os.path.join(work, "pipes"),
                   XDG_RUNTIME_DIR=work)
        host_process = subprocess.Popen([host], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        got = {}
        for request in ({"id": 1, "member": "ShowSelectDlg", "args": [1]},
                        {"id": 2, "member": "IsOpenSelectDlg"}):
            host_process.stdin.write(frame(request))
            host_process.stdin.flush()
            (length,) = struct.unpack("=I", host_process.stdout.read(4))
            answer = json.loads(host_process.stdout.read(length))
            got[answer["id"]] = answer
        host_process.stdin.close()
        host_process.wait(timeout=30)
    failures = 0
    for ok, what in (
            (got.get(1, {}).get("result") == "", "the selection returns an empty text"),
            ("화면이 없어 파일 선택 창을 열 수 없습니다." in got.get(1, {}).get("notices", []),
             "and the page is told why: %s" % got.get(1)),
            (got.get(2, {}).get("result") is False, "no dialog counts as open afterwards")):
        print(("ok  " if ok else "FAIL") + " " + what)
        failures += 0 if ok else 1
    print("%d passed, %d failed" % (3 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
