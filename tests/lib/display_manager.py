#!/usr/bin/python3
"""Stands in for GNOME's display manager (gdm) on a private system bus.

GNOME Shell 43 builds its lock screen only when org.gnome.DisplayManager
answers on the system bus with a Version of 3.5.91 or later (loginManager.js,
canLock). This owns that name, answers the Version property, and takes the
RegisterSession call a started shell makes. Nothing else: unlocking, which
gdm would do after a password, is the shell's own SetActive(false) here.
Prints "ready" once the name is owned; ends on SIGTERM.
"""
import dbus
import dbus.service
from stand_in import serve

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


if __name__ == "__main__":
    serve(True, [NAME], lambda bus: [Manager(bus, PATH)])
