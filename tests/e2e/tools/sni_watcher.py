#!/usr/bin/python3
"""A StatusNotifierWatcher for tests, on the session bus of the environment it runs in.

It owns org.kde.StatusNotifierWatcher, accepts item registrations and reports, one JSON object
per line on standard output: {"event": "registered", "service": ...} and {"event": "gone",
"service": ...} when a registered item's name leaves the bus. Commands arrive as JSON lines on
standard input, each answered by one line {"reply": ...} or {"error": ...}:
  {"cmd": "props"}                    every property of the last registered item
  {"cmd": "layout"}                   its com.canonical.dbusmenu layout as a nested tree
  {"cmd": "activate"}                 calls Activate(0, 0)
  {"cmd": "double"}                   calls Activate twice without waiting in between
  {"cmd": "contextmenu"}              calls ContextMenu(x, y), as hosts without dbusmenu do
  {"cmd": "click", "label": LABEL}    sends the "clicked" event to the menu item with that label
Needs python3-dbus and python3-gi (Debian's, hence /usr/bin/python3).
"""

import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


def plain(value):
    """dbus-python values as JSON-friendly ones (byte arrays as their length)."""
    if isinstance(value, dbus.Array) and value.signature == "y":
        return {"bytes": len(value)}
    if isinstance(value, (dbus.Array, list, dbus.Struct, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Dictionary):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, (dbus.Int32, dbus.UInt32, dbus.Int64, dbus.Byte)):
        return int(value)
    return value


def say(obj):
    print(json.dumps(obj), flush=True)


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []  # (service, sender)
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", "org.freedesktop.DBus")

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        service = str(service)
        if service.startswith("/"):
            service = str(sender)
        if (service, str(sender)) not in self.items:
            self.items.append((service, str(sender)))
        say({"event": "registered", "service": service})

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"RegisteredStatusNotifierItems": dbus.Array([s for s, _ in self.items], "s"),
                "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}

    def owner_changed(self, name, old, new):
        for service, sender in list(self.items):
            if str(name) == service and not new:
                self.items.remove((service, sender))
                say({"event": "gone", "service": service})

    def item(self):
        if not self.items:
            raise RuntimeError("no item registered")
        return self.bus.get_object(self.items[-1][0], "/StatusNotifierItem")

    def menu(self):
        path = self.item().Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
        return self.bus.get_object(self.items[-1][0], path)

    def layout(self):
        _, root = self.menu().GetLayout(0, -1, dbus.Array([], "s"), dbus_interface=MENU)

        def node(n):
            return {"id": int(n[0]), "props": plain(n[1]), "children": [node(c) for c in n[2]]}

        return node(root)

    def command(self, cmd):
        name = cmd["cmd"]
        if name == "props":
            return plain(self.item().GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE))
        if name == "layout":
            return self.layout()
        if name == "activate":
            self.item().Activate(0, 0, dbus_interface=ITEM)
            return True
        if name == "double":
            item = self.item()
            for _ in range(2):
                item.Activate(0, 0, dbus_interface=ITEM, reply_handler=lambda: None,
                              error_handler=lambda error: say({"error": str(error)}))
            return True
        if name == "contextmenu":
            self.item().ContextMenu(100, 100, dbus_interface=ITEM)
            return True
        if name == "click":
            def find(n):
                if n["props"].get("label") == cmd["label"]:
                    return n["id"]
                for c in n["children"]:
                    found = find(c)
                    if found is not None:
                        return found
                return None

            item_id = find(self.layout())
            if item_id is None:
                raise RuntimeError(f"no menu item {cmd['label']!r}")
            self.menu().Event(item_id, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                              dbus_interface=MENU)
            return item_id
        raise RuntimeError(f"unknown command {name}")


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    loop = GLib.MainLoop()

    def on_input(source, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        try:
            say({"reply": watcher.command(json.loads(line))})
        except Exception as error:  # noqa: BLE001 - reported to the test
            say({"error": str(error)})
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
    say({"event": "ready"})
    loop.run()
    del name


if __name__ == "__main__":
    main()
