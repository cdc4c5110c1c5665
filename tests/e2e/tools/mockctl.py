#!/usr/bin/env python3
"""Drives a python-dbusmock service on a given bus address and prints the answer as JSON.

Run with a Python that has dbus-python (Debian's python3-dbusmock brings it):
  mockctl.py ADDRESS DEST PATH calls METHOD          the arguments of each call of METHOD
  mockctl.py ADDRESS DEST PATH method IFACE NAME IN OUT CODE   adds or replaces a method
  mockctl.py ADDRESS DEST PATH emit IFACE NAME SIG JSON        emits a signal
  mockctl.py ADDRESS DEST PATH addsession ID SEAT UID USER     logind template: a session
  mockctl.py ADDRESS DEST PATH owned                           exit 0 when DEST has an owner
"""

import json
import sys

import dbus

MOCK = "org.freedesktop.DBus.Mock"


def plain(value):
    if isinstance(value, (list, dbus.Array, tuple, dbus.Struct)):
        return [plain(v) for v in value]
    if isinstance(value, (dict, dbus.Dictionary)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, bool) or isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (int, dbus.UInt32, dbus.Int32, dbus.UInt64, dbus.Int64, dbus.Byte)):
        return int(value)
    return str(value)


def typed(signature, values):
    """JSON values for a signal of the given signature (the few types the tests use)."""
    kinds = {"u": dbus.UInt32, "i": dbus.Int32, "s": dbus.String, "b": dbus.Boolean}
    return [kinds[code](value) for code, value in zip(signature, values)]


def main(argv):
    address, dest, path, command, *rest = argv
    bus = dbus.bus.BusConnection(address)
    if command == "owned":
        return 0 if bus.name_has_owner(dest) else 1
    mock = dbus.Interface(bus.get_object(dest, path), MOCK)
    if command == "calls":
        print(json.dumps([plain(args) for _, args in mock.GetMethodCalls(rest[0])]))
    elif command == "method":
        iface, name, in_sig, out_sig, code = rest
        mock.AddMethod(iface, name, in_sig, out_sig, code)
    elif command == "emit":
        iface, name, signature, values = rest
        mock.EmitSignal(iface, name, signature, typed(signature, json.loads(values)))
    elif command == "addsession":
        session_id, seat, uid, user = rest
        mock.AddSession(session_id, seat, dbus.UInt32(int(uid)), user, True)
    else:
        print(f"unknown command {command}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
