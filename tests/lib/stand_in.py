"""What every stand-in does around its objects, written once.

serve(system, names, make_objects, on_line=None): on the system bus (system
true, the one DBUS_SYSTEM_BUS_ADDRESS names) or the session bus, makes the
objects (make_objects(bus) returns them), owns each of names, prints "ready"
and serves until SIGTERM; then leaves the bus. With on_line, each line of
standard input goes to it, stripped, and the end of the input ends the run.
A stand-in copied into a run's folder takes this file along.
"""
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


def serve(system, names, make_objects, on_line=None):
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus() if system else dbus.SessionBus()
    objects = make_objects(bus)
    owned = [dbus.service.BusName(name, bus, do_not_queue=True) for name in names]
    loop = GLib.MainLoop()

    def read(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        on_line(line.strip())
        return True

    if on_line:
        GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, read)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    for one in objects:
        one.remove_from_connection()
    del owned
