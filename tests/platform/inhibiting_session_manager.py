#!/usr/bin/python3
"""Stands in for GNOME's session manager while something inhibits idle.

Owns org.gnome.SessionManager on the session bus and answers IsInhibited:
true for the idle flag, as gnome-session does while a film plays or a
presentation runs. It has no InhibitedActions property, so mutter's own idle
monitor still reports idle: only a program that asks IsInhibited holds back.
Prints "ready" once the name is owned; ends on SIGTERM, releasing the name.
"""
import signal

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.gnome.SessionManager"
PATH = "/org/gnome/SessionManager"
INHIBIT_IDLE = 8


class SessionManager(dbus.service.Object):
    @dbus.service.method(NAME, in_signature="u", out_signature="b")
    def IsInhibited(self, flags):
        return bool(flags & INHIBIT_IDLE)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    manager = SessionManager(bus, PATH)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    manager.remove_from_connection()
    del name


if __name__ == "__main__":
    main()
