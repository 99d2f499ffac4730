#!/usr/bin/python3
"""Stands in for a desktop's screen-saver service on the session bus.

    fake_screensaver.py NAME

NAME is org.freedesktop.ScreenSaver (KDE's locker answers it at
/ScreenSaver and /org/freedesktop/ScreenSaver) or org.gnome.ScreenSaver
(GNOME Shell's, at /org/gnome/ScreenSaver). It answers GetActive and takes
SetActive, which locks or unlocks (blanks or unblanks) at once and sends
ActiveChanged from every path, as the desktops do. Prints "ready" once the
name is owned; ends on SIGTERM.
"""
import sys

import dbus
import dbus.service
from stand_in import serve

PATHS = {
    "org.freedesktop.ScreenSaver": ["/ScreenSaver", "/org/freedesktop/ScreenSaver"],
    "org.gnome.ScreenSaver": ["/org/gnome/ScreenSaver"],
}


def make_service(name):
    class ScreenSaver(dbus.service.Object):
        def __init__(self, bus, path, state):
            super().__init__(bus, path)
            self.state = state

        @dbus.service.method(name, in_signature="", out_signature="b")
        def GetActive(self):
            return self.state["active"]

        @dbus.service.method(name, in_signature="b", out_signature="b")
        def SetActive(self, active):
            if bool(active) != self.state["active"]:
                self.state["active"] = bool(active)
                for one in self.state["objects"]:
                    one.ActiveChanged(bool(active))
            return True

        @dbus.service.signal(name, signature="b")
        def ActiveChanged(self, active):
            pass

    return ScreenSaver


def main():
    name = sys.argv[1] if len(sys.argv) > 1 else "org.freedesktop.ScreenSaver"
    if name not in PATHS:
        sys.exit("usage: fake_screensaver.py " + "|".join(PATHS))
    service = make_service(name)
    state = {"active": False, "objects": []}

    def make_objects(bus):
        state["objects"] = [service(bus, path, state) for path in PATHS[name]]
        return state["objects"]

    serve(False, [name], make_objects)


if __name__ == "__main__":
    main()
