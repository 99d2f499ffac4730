#!/usr/bin/python3
"""Stands in for logind on a private system bus, for the launcher's tests.

Owns org.freedesktop.login1 and serves one session, /org/freedesktop/login1/
session/c1 with the id "c1", which every lookup returns: GetSession (any id),
GetSessionByPID (any process) and the user's Display. Its properties live in
one table per interface (SESSION_PROPERTIES, MANAGER_PROPERTIES); Get, GetAll
and PropertiesChanged serve them all, so another test adds a property by
adding it to a table and a way to set it. LockedHint is set as logind sets
it, with the session's SetLockedHint. Inhibitors are taken as logind takes
them: Inhibit(what, who, why, mode) hands back one end of a pipe, and the
inhibitor stands until every copy of that end is closed (the holder ended);
BlockInhibited and ListInhibitors say what stands. LockSession and the
session's Lock send the session's Lock signal, which lockers such as xss-lock
act on. Prints "ready" once the name is owned; ends on SIGTERM.

usage: fake_logind.py   (on the bus DBUS_SYSTEM_BUS_ADDRESS names)
"""
import os

import dbus
import dbus.service
from gi.repository import GLib
from stand_in import PropertyObject, serve

NAME = "org.freedesktop.login1"
MANAGER_PATH = "/org/freedesktop/login1"
MANAGER = "org.freedesktop.login1.Manager"
SESSION = "org.freedesktop.login1.Session"
USER = "org.freedesktop.login1.User"
SESSION_ID = "c1"
SESSION_PATH = "/org/freedesktop/login1/session/" + SESSION_ID
USER_PATH = "/org/freedesktop/login1/user/self"

SESSION_PROPERTIES = {"Id": dbus.String(SESSION_ID), "LockedHint": dbus.Boolean(False)}
MANAGER_PROPERTIES = {"BlockInhibited": dbus.String(""), "DelayInhibited": dbus.String("")}
USER_PROPERTIES = {"Display": dbus.Struct((SESSION_ID, dbus.ObjectPath(SESSION_PATH)),
                                          signature="so")}


class Session(PropertyObject):
    def __init__(self, bus):
        super().__init__(bus, SESSION_PATH, {SESSION: SESSION_PROPERTIES})

    @dbus.service.method(SESSION, in_signature="b", out_signature="")
    def SetLockedHint(self, locked):
        self.set(SESSION, "LockedHint", dbus.Boolean(locked))

    @dbus.service.signal(SESSION, signature="")
    def Lock(self):
        pass

    @dbus.service.method(SESSION, in_signature="", out_signature="", member="Lock")
    def LockMethod(self):
        self.Lock()


class Manager(PropertyObject):
    def __init__(self, bus, session):
        super().__init__(bus, MANAGER_PATH, {MANAGER: MANAGER_PROPERTIES})
        self.session = session
        # Each standing inhibitor: (what, who, why, mode, uid, pid), by the
        # read end of its pipe.
        self.inhibitors = {}

    def update(self):
        for mode, name in (("block", "BlockInhibited"), ("delay", "DelayInhibited")):
            whats = []
            for what, _, _, held_mode, _, _ in self.inhibitors.values():
                for one in what.split(":"):
                    if held_mode == mode and one not in whats:
                        whats.append(one)
            self.set(MANAGER, name, dbus.String(":".join(whats)))

    @dbus.service.method(MANAGER, in_signature="ssss", out_signature="h",
                         sender_keyword="sender")
    def Inhibit(self, what, who, why, mode, sender=None):
        read_end, write_end = os.pipe()
        self.inhibitors[read_end] = (str(what), str(who), str(why), str(mode), os.getuid(), 0)
        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_ERR, self.released)
        self.update()
        fd = dbus.types.UnixFd(write_end)
        os.close(write_end)
        return fd

    def released(self, read_end, condition):
        self.inhibitors.pop(read_end, None)
        os.close(read_end)
        self.update()
        return False

    @dbus.service.method(MANAGER, in_signature="", out_signature="a(ssssuu)")
    def ListInhibitors(self):
        return dbus.Array([dbus.Struct(i, signature="ssssuu") for i in self.inhibitors.values()],
                          signature="(ssssuu)")

    @dbus.service.method(MANAGER, in_signature="s", out_signature="")
    def LockSession(self, session_id):
        self.session.Lock()

    @dbus.service.method(MANAGER, in_signature="s", out_signature="o")
    def GetSession(self, session_id):
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method(MANAGER, in_signature="u", out_signature="o")
    def GetSessionByPID(self, pid):
        return dbus.ObjectPath(SESSION_PATH)


class User(PropertyObject):
    def __init__(self, bus):
        super().__init__(bus, USER_PATH, {USER: USER_PROPERTIES})


def objects(bus):
    session = Session(bus)
    return [Manager(bus, session), session, User(bus)]


if __name__ == "__main__":
    serve(True, [NAME], objects)
