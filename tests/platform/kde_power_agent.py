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
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

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
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    record = Record()
    names = [dbus.service.BusName(n, bus, do_not_queue=True) for n in (AGENT, SCREENSAVER)]
    objects = [PolicyAgent(bus, record), ScreenSaver(bus, "/org/freedesktop/ScreenSaver", record),
               ScreenSaver(bus, "/ScreenSaver", record)]
    loop = GLib.MainLoop()

    def command(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        if line.strip() == "release":
            record.inhibitions.clear()
            print("released", flush=True)
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    for o in objects:
        o.remove_from_connection()
    del names


if __name__ == "__main__":
    main()
