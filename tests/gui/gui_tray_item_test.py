#!/usr/bin/env python3
"""The uploader's tray icon as an item on the session bus: on a private bus
with a stand-in for the panel's watcher, the item registers, shows its
picture and tip, its menu holds the six lines with their texts, and choosing
"감추기" then "보이기" there hides and shows the window (read through the
window's probe).

usage: with_display.sh gui_tray_item_test.py BUILD_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import threading

from gi.repository import Gio, GLib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gui_checks import check, finish, probe_state, wait_for  # noqa: E402

build = os.path.abspath(sys.argv[1])
uploader = os.path.join(build, "lib", "quenvara", "QuenvaraUpLoad")

WATCHER_XML = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
</interface></node>"""

class Watcher:
    """What a panel runs: it takes the names of items that register."""

    def __init__(self, bus):
        self.items = []  # (sender, object path)
        self.context = GLib.MainContext()
        self.loop = GLib.MainLoop(self.context)
        self.ready = threading.Event()
        self.bus = bus
        threading.Thread(target=self.run, daemon=True).start()
        self.ready.wait(10)

    def run(self):
        self.context.push_thread_default()
        node = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML)
        self.bus.register_object("/StatusNotifierWatcher", node.interfaces[0], self.on_call,
                                 self.on_property, None)
        Gio.bus_own_name_on_connection(self.bus, "org.kde.StatusNotifierWatcher",
                                       Gio.BusNameOwnerFlags.NONE,
                                       lambda *_: self.ready.set(), None)
        self.loop.run()

    def on_call(self, bus, sender, path, interface, method, args, call):
        if method == "RegisterStatusNotifierItem":
            service = args.unpack()[0]
            if service.startswith("/"):
                self.items.append((sender, service))
            else:
                self.items.append((service, "/StatusNotifierItem"))
        call.return_value(None)

    def on_property(self, bus, sender, path, interface, name):
        if name == "RegisteredStatusNotifierItems":
            return GLib.Variant("as", [s + p for s, p in self.items])
        if name == "IsStatusNotifierHostRegistered":
            return GLib.Variant("b", True)
        return GLib.Variant("i", 0)


def call(bus, name, path, interface, method, args, reply):
    return bus.call_sync(name, path, interface, method, args, GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()


def main():
    if not os.path.exists(uploader):
        sys.exit("missing " + uploader)
    work = tempfile.mkdtemp(prefix="quenvara-tray-")
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    up = None
    try:
        address = daemon.stdout.readline().strip()
        watcher_bus = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        watcher = Watcher(watcher_bus)
        check(watcher.ready.is_set(), "the stand-in watcher owns its name")
        bus = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

        probe = os.path.join(work, "probe")
        env = dict(os.environ, QUENVARA_UI="gui", DBUS_SESSION_BUS_ADDRESS=address,
                   QUENVARA_PIPE_DIR=os.path.join(work, "pipes"),
                   QUENVARA_CONFIG_DIR=os.path.join(work, "config"),
                   QUENVARA_GUI_PROBE=probe, QUENVARA_WEB_URL="http://127.0.0.1:9",
                   LANG="C.UTF-8", NO_AT_BRIDGE="1")
        env.pop("WAYLAND_DISPLAY", None)
        log = open(os.path.join(work, "uploader.log"), "w")
        up = subprocess.Popen([uploader], env=env, stdout=log, stderr=subprocess.STDOUT)

        def state():
            return probe_state(probe)

        check(bool(wait_for(lambda: "window shown=1" in state())),
              "the window came up: " + state().split("\n")[0])
        check(bool(wait_for(lambda: watcher.items)), "the item registered with the watcher")
        if not watcher.items:
            return finish(work)
        name, path = watcher.items[0]
        props = call(bus, name, path, "org.freedesktop.DBus.Properties", "GetAll",
                     GLib.Variant("(s)", ("org.kde.StatusNotifierItem",)), "(a{sv})")[0]
        pixmaps = props.get("IconPixmap", [])
        check(bool(pixmaps) and all(len(p[2]) == p[0] * p[1] * 4 for p in pixmaps),
              "the item has a picture: %s" % [(w, h) for w, h, _ in pixmaps])
        tip = props.get("ToolTip", ("", [], "", ""))[2]
        check(bool(tip), "the item has a tip: %r" % tip)
        menu_path = props.get("Menu", "")
        check(menu_path.startswith("/"), "the item names its menu: %r" % menu_path)

        _, (_, _, children) = call(bus, name, menu_path, "com.canonical.dbusmenu", "GetLayout",
                                   GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")
        lines = [(child[0], child[1].get("label", ""), child[1].get("type", "standard"))
                 for child in children]
        shown = [label if kind != "separator" else "-" for _, label, kind in lines]
        check(shown == ["퀜바라 가기", "-", "보이기", "감추기", "-", "종료"],
              "the menu's six lines: %s" % shown)
        ids = {label: id for id, label, kind in lines if kind != "separator"}

        def click(label):
            call(bus, name, menu_path, "com.canonical.dbusmenu", "Event",
                 GLib.Variant("(isvu)", (ids[label], "clicked", GLib.Variant("i", 0), 0)), "()")

        if "감추기" in ids and "보이기" in ids:
            click("감추기")
            check(bool(wait_for(lambda: "window shown=0" in state())),
                  '"감추기" in the item\'s menu hides the window')
            click("보이기")
            check(bool(wait_for(lambda: "window shown=1" in state())),
                  '"보이기" in the item\'s menu shows the window')
        return finish(work)
    finally:
        if up is not None and up.poll() is None:
            up.kill()
            up.wait()
        daemon.kill()
        daemon.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
