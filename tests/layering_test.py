#!/usr/bin/env python3
"""Each folder's target sees only the folders it may include: a probe
compiled with a target's own flags must fail on a header of a folder above
it and build with one it may use."""
import json
import os
import subprocess
import sys
import tempfile

build = sys.argv[1]
with open(os.path.join(build, "compile_commands.json")) as f:
    commands = json.load(f)


def flags_of(source_suffix):
    for c in commands:
        if c["file"].endswith(source_suffix):
            args = c.get("arguments") or c["command"].split()
            keep = []
            for i, a in enumerate(args):
                if a == "-isystem" and i + 1 < len(args):
                    keep += [a, args[i + 1]]
                elif a.startswith(("-I", "-std=", "-D")):
                    keep.append(a)
            return args[0], keep
    sys.exit(f"no compile command for {source_suffix}")


# (a source of the target, a header it may include, a header it must not see)
rules = [
    ("platform/tcp.cpp", "platform/clock.h", "common/cp949.h"),
    ("common/cp949.cpp", "platform/result.h", "protocol/packet.h"),
    ("protocol/packet.cpp", "common/cp949.h", "uploader/transfer/upload_session.h"),
    ("handover_client/job_builder.cpp", "protocol/list_message.h", "uploader/app/dialog_view.h"),
    ("uploader/transfer/upload_session.cpp", "protocol/packet.h", "uploader/app/dialog_view.h"),
    ("uploader/list/file_list_view.cpp", "uploader/transfer/engine_display.h",
     "uploader/frontend/front_end.h"),
    ("uploader/app/upload_main_window.cpp", "uploader/transfer/upload_session.h",
     "musicfilter/check_flow.h"),
    ("uploader/app/upload_app.cpp", "uploader/app/front_end.h",
     "uploader/frontend/headless/headless_front_end.h"),
    # Only the widgets and the wx front-end see the toolkit.
    ("uploader/app/upload_main_window.cpp", "uploader/app/dialog_view.h", "wx/frame.h"),
    ("uploader/widgets/skin_button.cpp", "wx/frame.h", "uploader/app/dialog_view.h"),
    ("uploader/frontend/wx/wx_main_frame.cpp", "uploader/widgets/skin_button.h",
     "uploader/frontend/headless/headless_front_end.h"),
    # The control is the hand-over's client side: never the uploader's code.
    ("webcontrol/dispatch_table.cpp", "handover_client/pipe_list_writer.h",
     "uploader/app/dialog_view.h"),
    ("service/reference_service.cpp", "protocol/packet.h", "uploader/transfer/upload_session.h"),
    ("musicfilter/check_flow.cpp", "quenvara/music_filter.h", "uploader/app/music_filter_binding.h"),
    ("wmadecoder/entry_points.cpp", "quenvara/wma_module.h", "musicfilter/fingerprint.h"),
]
status = 0
with tempfile.TemporaryDirectory() as tmp:
    for source, allowed, forbidden in rules:
        compiler, flags = flags_of(source)
        for header, should_build in ((allowed, True), (forbidden, False)):
            probe = os.path.join(tmp, "probe.cpp")
            with open(probe, "w") as p:
                p.write(f'#include "{header}"\n')
            built = subprocess.run([compiler, *flags, "-fsyntax-only", probe],
                                   capture_output=True).returncode == 0
            ok = built == should_build
            verdict = "sees" if built else "does not see"
            print(f"{'ok ' if ok else 'BAD'} {source}: {verdict} {header}")
            status |= 0 if ok else 1
sys.exit(status)
