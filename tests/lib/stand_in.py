"""What every stand-in does around its objects, written once.

serve(system, names, make_objects, on_line=None): on the system bus (system
true, the one DBUS_SYSTEM_BUS_ADDRESS names) or the session bus, makes the
objects (make_objects(bus) returns them), owns each of names, prints "ready"
and serves until SIGTERM; then leaves the bus. With on_line, each line of
standard input goes to it, stripped, and the end of the input ends the run.
PropertyObject serves an object's properties from tables, one per interface.
A stand-in copied into a run's folder takes this file along.
"""
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class PropertyObject(dbus.service.Object):
    """An object whose properties are tables, one per interface."""

    def __init__(self, bus, path, tables):
        super().__init__(bus, path)
        self.tables = tables

    def table(self, interface):
        if interface not in self.tables:
            raise dbus.exceptions.DBusException(
                "no interface " + interface, name="org.freedesktop.DBus.Error.UnknownInterface")
        return self.tables[interface]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        table = self.table(interface)
        if name not in table:
            raise dbus.exceptions.DBusException(
                "no property " + name, name="org.freedesktop.DBus.Error.UnknownProperty")
        return table[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.table(interface)

    @dbus.service.signal(dbus.PROPERTIES_IFACE, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    def set(self, interface, name, value):
        """Sets a property and says so, as logind does."""
        self.table(interface)[name] = value
        self.PropertiesChanged(interface, {name: value}, [])


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
