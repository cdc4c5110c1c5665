#!/usr/bin/env python3
"""The main menu: a page sets a menu bar with a submenu, images and access keys; a click on a
child item and its access keys reach the page's onMainMenuItemClick with the item's ID."""

from __future__ import annotations

import json
import queue
import re
import struct
import subprocess
import sys
import threading
import time
import zlib
from pathlib import Path

from harness import (PAGE_HELPERS, RESOLVED, E2EError, XSession, count_near, expect, expect_eq,
                     page, run_cases, settled, wait_until)

RED = (255, 0, 0)
BLUE = (0, 0, 255)


def png(width: int, height: int, rgb: tuple[int, int, int]) -> bytes:
    """A PNG of one colour."""
    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    row = b"\0" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


ITEMS = [
    {"id": 1, "caption": "&File", "items": [
        {"id": "$B", "caption": "Open", "image": "app/red.png"},
        {"id": 12, "caption": "Close"},
        {"id": 14, "caption": "-"},
        {"id": 13, "caption": "Locked", "enabled": False, "image": "blue.png"},
    ]},
    {"id": 2, "caption": "Help"},
]

MENU_PAGE = page("<p>menus</p>" + PAGE_HELPERS + r"""
<script>
const clicks = [];
let ready = {};
vlx.events.onMainMenuItemClick = (id) => { clicks.push(id); report({...ready, clicks}); };
async function run() {
  const r = {};
  r.missing = await settle(vlx.mainMenu.setItems({items: ""}), 5000);
  r.set = await settle(vlx.mainMenu.setItems({items: JSON.stringify(ITEMS)}), 5000);
  r.kept = await settle(vlx.mainMenu.setItems({items: '[{"id": 99, "caption": "Other"}]'}), 5000);
  r.update = await settle(vlx.mainMenu.updateItem({id: "12", caption: "&Close all"}), 5000);
  r.unknownId = await settle(vlx.mainMenu.updateItem({id: 77, caption: "x"}), 5000);
  r.wrongId = await settle(vlx.mainMenu.updateItem({id: -1}), 5000);
  r.wrongItem = await settle(vlx.trayMenu.setItems({items: '[{"caption": "no id"}]'}), 5000);
  // No StatusNotifierWatcher runs here: the icon goes to the XEmbed fallback.
  r.showIcon = await settle(vlx.trayMenu.showIcon(), 5000);
  r.hideIcon = await settle(vlx.trayMenu.hideIcon(), 5000);
  ready = r;
  report({...r, clicks});
}
run().catch((e) => report({error: String(e)}));
</script>""").replace("ITEMS", json.dumps(ITEMS))


def main_menu(args, artifacts: Path) -> None:
    with XSession("menus", artifacts, args.bin_dir) as session:
        exe = session.make_app("menus", {"ID": "E2EMenus", "Name": "Menus", "DynamicAppTitle": 1,
                                         "Width": 640, "Height": 480},
                               {"index.html": MENU_PAGE, "red.png": png(16, 16, RED)})
        # Beside the executable: found after the package.
        (exe.parent / "blue.png").write_bytes(png(16, 16, BLUE))
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=40)
        expect("error" not in result, f"the page failed: {result.get('error')}")
        expected = {
            "missing": settled("rejected", "Missing menu items"),
            "set": settled(RESOLVED, True),
            "kept": settled(RESOLVED, True),
            "update": settled(RESOLVED, True),
            "unknownId": settled(RESOLVED, True),
            "wrongId": settled("rejected", "Wrong item ID"),
            "wrongItem": settled("rejected", "Wrong menu item JSON"),
            "showIcon": settled(RESOLVED, True),
            "hideIcon": settled(RESOLVED, True),
            "clicks": [],
        }
        for key, value in expected.items():
            expect_eq(result.get(key), value, key)

        session.wait_settled(wid)
        rect = session.client_rect(wid)
        # The window carries the application's icon (Velloc's own: the app names none).
        icon = session.xprop(wid, "_NET_WM_ICON")
        expect(icon.startswith("_NET_WM_ICON(CARDINAL) =") and len(icon) > 10_000,
               f"window icon: {icon[:200]!r}")
        # A click on the bar's first entry opens the submenu; a click on its first child runs
        # the page's handler with that child's ID.
        session.x("xdotool", "mousemove", str(rect.left + 18), str(rect.top + 12), "click", "1")
        popup = wait_until(lambda: [w for w in popup_windows(session) if w != wid], 10,
                           "the submenu to open")[0]
        popup_rect = session.client_rect(popup)

        # The enabled item's image is red; the disabled one's blue image is drawn in grey.
        def drawn() -> dict | None:
            shown = session.screenshot(artifacts / "submenu.png").crop(popup_rect).colours()
            return shown if count_near(shown, RED, 40) >= 150 else None

        shown = wait_until(drawn, 10, "the submenu's red image", interval=0.5)
        expect_eq(count_near(shown, BLUE, 60), 0, "blue pixels of the disabled item's image")
        session.x("xdotool", "mousemove", str(popup_rect.left + 40), str(popup_rect.top + 16),
                  "click", "1")
        result = session.wait_result(app, wid, timeout=10)
        wait_until(lambda: session.wait_result(app, wid)["clicks"], 10, "the click to arrive")
        expect_eq(session.wait_result(app, wid)["clicks"], ["11"], "clicked IDs")

        # Access keys: Alt+F opens File, C picks the updated "&Close all".
        session.press(wid, "alt+f")
        wait_until(lambda: popup_windows(session), 10, "Alt+F to open the submenu")
        session.x("xdotool", "key", "c")
        wait_until(lambda: len(session.wait_result(app, wid)["clicks"]) == 2, 10,
                   "the access-key click to arrive")
        expect_eq(session.wait_result(app, wid)["clicks"], ["11", "12"], "clicked IDs")
        session.screenshot(artifacts / "screenshot.png", rect)

        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code")


TRAY_ITEMS = [
    {"id": 1, "caption": "&File", "items": [
        {"id": 11, "caption": "Open", "image": "app/red.png"},
        {"id": 12, "caption": "-"},
        {"id": 13, "caption": "Locked", "enabled": "0"},
    ]},
    {"id": "$63", "caption": "Hide"},
]

TRAY_PAGE = page("<p>tray</p>" + PAGE_HELPERS + r"""
<script>
const events = [];
let ready = {};
const show = () => report({...ready, events});
vlx.events.onTrayIconClick = () => { events.push("icon"); show(); };
vlx.events.onTrayMenuItemClick = async (id) => {
  events.push(id);
  if (id === "99") events.push(await settle(vlx.trayMenu.hideIcon(), 5000));
  show();
};
async function run() {
  const r = {};
  r.set = await settle(vlx.trayMenu.setItems({items: JSON.stringify(ITEMS)}), 5000);
  r.show = await settle(vlx.trayMenu.showIcon(), 5000);
  r.showAgain = await settle(vlx.trayMenu.showIcon(), 5000);
  ready = r;
  show();
}
run().catch((e) => report({error: String(e)}));
</script>""").replace("ITEMS", json.dumps(TRAY_ITEMS))


class Watcher:
    """The test StatusNotifierWatcher (tools/sni_watcher.py) on the session's bus."""

    def __init__(self, session: XSession, artifacts: Path, name: str):
        script = Path(__file__).resolve().parent / "tools" / "sni_watcher.py"
        self.log = open(artifacts / f"{name}.log", "w")
        self.proc = subprocess.Popen(["/usr/bin/python3", "-B", str(script)], env=session.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.log, text=True)
        self.lines: queue.Queue = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.events: list[dict] = []
        self.expect_event("ready")

    def _read(self) -> None:
        for line in self.proc.stdout:  # type: ignore[union-attr]
            self.lines.put(json.loads(line))

    def _next(self, timeout: float) -> dict:
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            raise E2EError(f"the watcher said nothing for {timeout:g} s") from None

    def expect_event(self, name: str, timeout: float = 20) -> dict:
        for event in self.events:
            if event.get("event") == name:
                self.events.remove(event)
                return event
        deadline = time.monotonic() + timeout
        while True:
            message = self._next(max(0.1, deadline - time.monotonic()))
            if message.get("event") == name:
                return message
            self.events.append(message)

    def call(self, **command) -> object:
        self.proc.stdin.write(json.dumps(command) + "\n")  # type: ignore[union-attr]
        self.proc.stdin.flush()  # type: ignore[union-attr]
        while True:
            message = self._next(20)
            if "reply" in message:
                return message["reply"]
            if "error" in message:
                raise E2EError(f"watcher {command}: {message['error']}")
            self.events.append(message)

    def stop(self) -> None:
        self.proc.kill()
        self.proc.wait()
        self.log.close()


def labels(node: dict) -> list:
    """A dbusmenu layout as labels ("-" for separators, "!" when disabled, "*" with an icon),
    submenus as nested lists."""
    out: list = []
    for child in node["children"]:
        props = child["props"]
        if props.get("type") == "separator":
            out.append("-")
            continue
        text = props.get("label", "") + ("" if props.get("enabled", True) else "!") + \
            ("*" if "icon-data" in props else "")
        out.append(text)
        if props.get("children-display") == "submenu":
            out.append(labels(child))
    return out


def tray_icon(args, artifacts: Path) -> None:
    with XSession("tray", artifacts, args.bin_dir) as session:
        watcher = Watcher(session, artifacts, "watcher1")
        try:
            exe = session.make_app("TrayApp", {"ID": "E2ETray", "Name": "Tray",
                                               "DynamicAppTitle": 1, "Width": 480, "Height": 320},
                                   {"index.html": TRAY_PAGE, "red.png": png(16, 16, RED)})
            app = session.launch(exe)
            wid = app.wait_window()
            result = session.wait_result(app, wid, timeout=40)
            expect("error" not in result, f"the page failed: {result.get('error')}")
            for key in ("set", "show", "showAgain"):
                expect_eq(result.get(key), settled(RESOLVED, True), key)
            service = watcher.expect_event("registered")["service"]
            expect(service.startswith("org.kde.StatusNotifierItem-"), f"service {service}")

            props = watcher.call(cmd="props")
            expect_eq(props["Id"], "E2ETray", "Id")
            expect_eq(props["ToolTip"][2], "Trayapp", "tooltip title")
            expect_eq(props["ItemIsMenu"], False, "ItemIsMenu")
            expect_eq(props["Status"], "Active", "Status")
            expect(len(props["IconPixmap"]) >= 3 and all(
                p[2]["bytes"] == p[0] * p[1] * 4 for p in props["IconPixmap"]),
                f"icon pixmaps {props['IconPixmap']}")
            expect_eq(labels(watcher.call(cmd="layout")),
                      ["_File", ["_Open*", "-", "_Locked!"], "_Hide"], "menu layout")

            # Two activations at once are a double click: one event; a later one is another.
            watcher.call(cmd="double")
            time.sleep(1)
            watcher.call(cmd="activate")
            watcher.call(cmd="click", label="_Open")
            wait_until(lambda: len(session.wait_result(app, wid)["events"]) >= 3, 10,
                       "the clicks to arrive")
            time.sleep(0.5)
            expect_eq(session.wait_result(app, wid)["events"], ["icon", "icon", "11"], "events")

            # A host that draws no dbusmenu asks the item to show its menu itself.
            watcher.call(cmd="contextmenu")
            menu = wait_until(lambda: popup_windows(session), 10, "the tray menu to open")[0]
            session.screenshot(artifacts / "tray-menu.png", session.client_rect(menu))
            session.x("xdotool", "key", "Escape")
            wait_until(lambda: not popup_windows(session), 10, "the tray menu to close")

            # A watcher that restarts gets the item again.
            watcher.stop()
            watcher = Watcher(session, artifacts, "watcher2")
            expect_eq(watcher.expect_event("registered")["service"], service, "re-registered")

            # Hiding the icon takes the item off the bus.
            watcher.call(cmd="click", label="_Hide")
            watcher.expect_event("gone")
            wait_until(lambda: len(session.wait_result(app, wid)["events"]) >= 5, 10,
                       "the hide answer")
            expect_eq(session.wait_result(app, wid)["events"][3:],
                      ["99", settled(RESOLVED, True)], "events after Hide")

            session.close_window(wid)
            expect_eq(app.wait(15), 0, "exit code")
        finally:
            watcher.stop()


def tray_fallback(args, artifacts: Path) -> None:
    """Without a StatusNotifierWatcher the icon docks in an XEmbed tray."""
    tool = args.rawpack.parent / "e2e-xembed-tray" if args.rawpack else None
    expect(tool is not None and tool.is_file(), f"no e2e-xembed-tray beside {args.rawpack}")
    with XSession("tray-fallback", artifacts, args.bin_dir) as session:
        tray = session.launch(tool)
        tray_wid = tray.wait_window(name="xembed-tray")
        exe = session.make_app("TrayApp", {"ID": "E2ETrayFallback", "Name": "Tray",
                                           "DynamicAppTitle": 1, "Width": 480, "Height": 320},
                               {"index.html": TRAY_PAGE, "red.png": png(16, 16, RED)})
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=40)
        expect_eq(result.get("show"), settled(RESOLVED, True), "show")
        wait_until(lambda: "docked" in tray.output(), 20, "the icon to dock")
        session.wait_settled(tray_wid)
        icon = session.client_rect(tray_wid)
        x, y = str(icon.left + 16), str(icon.top + icon.height // 2)

        # The docked icon is Velloc's blue-violet one (the app names none).
        def painted() -> int:
            shown = session.screenshot(artifacts / "tray.png", icon).crop(icon).colours()
            return sum(n for (r, g, b), n in shown.items() if b > 150 and r < 130 and g < 130)

        wait_until(lambda: painted() >= 100, 10, "the icon to be drawn in the tray", interval=0.5)

        session.x("xdotool", "mousemove", x, y, "click", "1")
        wait_until(lambda: session.wait_result(app, wid)["events"] == ["icon"], 10,
                   "the icon click to arrive")
        time.sleep(1)  # past the double-click time
        # A right click opens the tray menu; its access key H picks "Hide", which hides the icon.
        session.x("xdotool", "mousemove", x, y, "click", "3")
        menu = wait_until(lambda: popup_windows(session), 10, "the tray menu to open")[0]
        session.screenshot(artifacts / "tray-menu.png", session.client_rect(menu))
        session.x("xdotool", "key", "h")
        wait_until(lambda: "undocked" in tray.output(), 10, "the icon to leave the tray")
        wait_until(lambda: len(session.wait_result(app, wid)["events"]) >= 3, 10,
                   "the hide answer")
        expect_eq(session.wait_result(app, wid)["events"],
                  ["icon", "99", settled(RESOLVED, True)], "events")
        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code")


def popup_windows(session: XSession) -> list[int]:
    """Mapped override-redirect windows: open menus."""
    tree = session.x("xwininfo", "-root", "-children")
    windows = []
    for line in tree.splitlines():
        line = line.strip()
        if not line.startswith("0x"):
            continue
        wid = int(line.split()[0], 16)
        info = session.x("xwininfo", "-id", str(wid), check=False)
        # GTK keeps small helper windows off the screen; a menu is on it.
        corner = re.search(r"Absolute upper-left X:\s+(-?\d+)\s+Absolute upper-left Y:\s+(-?\d+)",
                           info)
        if ("Override Redirect State: yes" in info and "Map State: IsViewable" in info and
                corner and int(corner.group(1)) >= 0 and int(corner.group(2)) >= 0):
            windows.append(wid)
    return windows


CASES = {"main_menu": main_menu, "tray_icon": tray_icon, "tray_fallback": tray_fallback}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
