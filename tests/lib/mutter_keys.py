#!/usr/bin/python3
"""Presses keys on a mutter session through its remote desktop D-Bus service.

Reads one Linux input key code a line on stdin, presses and releases it, and
writes "sent CODE" on stdout once mutter has taken both. Prints "ready" once
the session has started. One D-Bus connection serves the whole run: mutter
ties a remote desktop session to the connection that made it and ends the
session when that connection closes, so a tool that connects once per key
cannot be used.
"""
import sys

import dbus

SERVICE = "org.gnome.Mutter.RemoteDesktop"
ROOT = "/org/gnome/Mutter/RemoteDesktop"
SESSION_INTERFACE = "org.gnome.Mutter.RemoteDesktop.Session"


def main():
    bus = dbus.SessionBus()
    remote = dbus.Interface(bus.get_object(SERVICE, ROOT), SERVICE)
    path = remote.CreateSession()
    session = dbus.Interface(bus.get_object(SERVICE, path), SESSION_INTERFACE)
    session.Start()
    print("ready", flush=True)
    for line in sys.stdin:
        line = line.strip()
        if not line:
            continue
        code = dbus.UInt32(int(line))
        session.NotifyKeyboardKeycode(code, True)
        session.NotifyKeyboardKeycode(code, False)
        print("sent", line, flush=True)
    session.Stop()


if __name__ == "__main__":
    main()
