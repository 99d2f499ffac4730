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
from stand_in import PropertyObject, serve

NAME = "org.gnome.DisplayManager"
PATH = "/org/gnome/DisplayManager/Manager"
INTERFACE = "org.gnome.DisplayManager.Manager"
VERSION = "43.0"


class Manager(PropertyObject):
    def __init__(self, bus):
        super().__init__(bus, PATH, {INTERFACE: {"Version": dbus.String(VERSION)}})

    @dbus.service.method(INTERFACE, in_signature="a{sv}", out_signature="")
    def RegisterSession(self, details):
        pass


if __name__ == "__main__":
    serve(True, [NAME], lambda bus: [Manager(bus)])
