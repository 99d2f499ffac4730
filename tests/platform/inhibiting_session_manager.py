#!/usr/bin/python3
"""Stands in for GNOME's session manager while something inhibits idle.

Owns org.gnome.SessionManager on the session bus and answers IsInhibited:
true for the idle flag, as gnome-session does while a film plays or a
presentation runs. It has no InhibitedActions property, so mutter's own idle
monitor still reports idle: only a program that asks IsInhibited holds back.
Prints "ready" once the name is owned; ends on SIGTERM, releasing the name.
"""
import os
import sys

import dbus
import dbus.service

# Beside it in a run's folder, or in tests/lib of the source tree.
sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from stand_in import serve  # noqa: E402

NAME = "org.gnome.SessionManager"
PATH = "/org/gnome/SessionManager"
INHIBIT_IDLE = 8


class SessionManager(dbus.service.Object):
    @dbus.service.method(NAME, in_signature="u", out_signature="b")
    def IsInhibited(self, flags):
        return bool(flags & INHIBIT_IDLE)


if __name__ == "__main__":
    serve(False, [NAME], lambda bus: [SessionManager(bus, PATH)])
