#!/usr/bin/python3
"""Stands in for KDE Plasma's own record of inhibitions beside kwin.

Owns org.kde.Solid.PowerManagement.PolicyAgent, as PowerDevil does, and
org.freedesktop.ScreenSaver, as KDE's screen locker does, whose Inhibit feeds
the PolicyAgent's record there. HasInhibition answers true for the screen
policies while an inhibition stands; ListInhibitions lists them, (application,
reason). It starts with one inhibition ("vlc", "Playing a film"); a line
"release" on standard input ends it and prints "released". Prints "ready"
once both names are owned; ends on SIGTERM or at the end of its input.
"""
import os
import sys

import dbus
import dbus.service

# Beside it in a run's folder, or in tests/lib of the source tree.
sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from stand_in import serve  # noqa: E402

AGENT = "org.kde.Solid.PowerManagement.PolicyAgent"
AGENT_PATH = "/org/kde/Solid/PowerManagement/PolicyAgent"
SCREENSAVER = "org.freedesktop.ScreenSaver"
# PolicyAgent's RequiredPolicy: InterruptSession 1, ChangeProfile 2,
# ChangeScreenSettings 4. The screen saver's Inhibit holds the screen.
CHANGE_SCREEN_SETTINGS = 4


class Record:
    def __init__(self):
        self.inhibitions = {1: ("vlc", "Playing a film")}
        self.next_cookie = 2


class PolicyAgent(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, AGENT_PATH)
        self.record = record

    @dbus.service.method(AGENT, in_signature="u", out_signature="b")
    def HasInhibition(self, policies):
        return bool(policies & CHANGE_SCREEN_SETTINGS) and bool(self.record.inhibitions)

    @dbus.service.method(AGENT, in_signature="", out_signature="a(ss)")
    def ListInhibitions(self):
        return dbus.Array(list(self.record.inhibitions.values()), signature="(ss)")


class ScreenSaver(dbus.service.Object):
    def __init__(self, bus, path, record):
        super().__init__(bus, path)
        self.record = record

    @dbus.service.method(SCREENSAVER, in_signature="ss", out_signature="u")
    def Inhibit(self, application, reason):
        cookie = self.record.next_cookie
        self.record.next_cookie += 1
        self.record.inhibitions[cookie] = (application, reason)
        return cookie

    @dbus.service.method(SCREENSAVER, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        self.record.inhibitions.pop(int(cookie), None)

    @dbus.service.method(SCREENSAVER, in_signature="", out_signature="b")
    def GetActive(self):
        return False


def main():
    record = Record()

    def release(line):
        if line == "release":
            record.inhibitions.clear()
            print("released", flush=True)

    serve(False, [AGENT, SCREENSAVER], lambda bus: [
        PolicyAgent(bus, record), ScreenSaver(bus, "/org/freedesktop/ScreenSaver", record),
        ScreenSaver(bus, "/ScreenSaver", record)], release)


if __name__ == "__main__":
    main()
