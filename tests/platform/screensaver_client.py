#!/usr/bin/python3
"""An application that holds the screen saver back through
org.freedesktop.ScreenSaver, as a film player or a browser does.

usage: screensaver_client.py PATH APPLICATION REASON
Calls Inhibit(APPLICATION, REASON) on PATH (/org/freedesktop/ScreenSaver or
/ScreenSaver) and prints "cookie N". Then reads commands, one a line, from
standard input: "uninhibit" calls UnInhibit with that cookie and prints
"released"; "foreign N" calls UnInhibit with cookie N, which belongs to
someone else, and prints the error's name or "accepted"; "bogus" calls a
method the interface does not have and prints the error's name. It stays on
the bus until standard input ends or it is killed: an inhibitor is dropped
when its application leaves the bus.
"""
import sys

import dbus

NAME = "org.freedesktop.ScreenSaver"


def main():
    path, application, reason = sys.argv[1:4]
    bus = dbus.SessionBus()
    saver = dbus.Interface(bus.get_object(NAME, path), NAME)
    cookie = saver.Inhibit(application, reason)
    print("cookie", int(cookie), flush=True)
    for line in sys.stdin:
        command = line.split()
        try:
            if command == ["uninhibit"]:
                saver.UnInhibit(cookie)
                print("released", flush=True)
            elif len(command) == 2 and command[0] == "foreign":
                saver.UnInhibit(dbus.UInt32(int(command[1])))
                print("accepted", flush=True)
            elif command == ["bogus"]:
                bus.get_object(NAME, path).Bogus(dbus_interface=NAME)
                print("accepted", flush=True)
        except dbus.exceptions.DBusException as error:
            print(error.get_dbus_name(), flush=True)


if __name__ == "__main__":
    main()
