#!/usr/bin/python3
"""Stands in for GNOME's display manager (gdm) on a private system bus.

GNOME Shell 43 builds its lock screen only when org.gnome.DisplayManager
answers on the system bus with a Version of 3.5.91 or later (loginManager.js,
canLock). This owns that name, answers the Version property, and takes the
RegisterSession call a started shell makes. Nothing else: unlocking, which
gdm would do after a password, is the shell's own SetActive(false) here.
Prints "ready" once the name is owned; ends on SIGTERM.
"""
import signal

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.gnome.DisplayManager"
PATH = "/org/gnome/DisplayManager/Manager"
INTERFACE = "org.gnome.DisplayManager.Manager"
VERSION = "43.0"


class Manager(dbus.service.Object):
    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == INTERFACE and name == "Version":
            return dbus.String(VERSION, variant_level=1)
        raise dbus.exceptions.DBusException(
            f"no property {interface}.{name}", name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"Version": dbus.String(VERSION)} if interface == INTERFACE else {}

    @dbus.service.method(INTERFACE, in_signature="a{sv}", out_signature="")
    def RegisterSession(self, details):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    manager = Manager(bus, PATH)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    manager.remove_from_connection()
    del name


if __name__ == "__main__":
    main()
