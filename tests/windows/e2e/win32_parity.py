"""The Win32 services of the whole program, read back through Win32 as a person's tools see them:
the menu bar (GetMenuItemInfoW, the drawn bar's pixels, clicks sent as mouse input), the tray
icon (Wine's notification area: its icon, tooltip and clicks), a notification (a balloon under
Wine, whose click Wine never reports, so the test sends the shell's message), the window-state
rule of a shown tray icon, the colours of the main window, its menu bar and the start-up forms in
a dark and a light style and back in the system's, and the loader module extracted once, reused
and repaired. One Wine run for the page's part, one per style for the start-ups.

Used by test_whole_program.py (group "win32"); --screenshots DIR keeps the pictures it takes.
"""

from __future__ import annotations

import shutil
import struct
import subprocess
import zlib
from pathlib import Path

DARK, LIGHT = "Carbon", "Silver"
# The colours those styles draw with (the core's palettes and schemes).
COLOURS = {DARK: {"ground": 0x1F1F1F, "bar": 0x171717, "field": 0x2A2A2A},
           LIGHT: {"ground": 0xE3E4E6, "bar": 0xCFD1D5, "field": 0xFAFAFA}}
NIN_BALLOONUSERCLICK = 0x0405


def png(width: int, height: int, rgba: tuple[int, int, int, int]) -> bytes:
    """A plain PNG of one colour."""
    row = b"\x00" + bytes(rgba) * width
    raw = row * height

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def post(uuid: str, fid: int, data: dict | None = None) -> dict:
    return {"post": {"id": fid, "uuid": uuid, "data": data or {}}, "waitMs": 10000}


def menu_json(items: list) -> str:
    import json
    return json.dumps(items)


class Win32Parity:
    def __init__(self, runner, page, screenshots: Path | None):
        self.r = runner
        self.page = page
        self.shots = screenshots

    def expect(self, condition: bool, message: str) -> None:
        self.r.expect(condition, "win32: " + message)

    def keep_shots(self, exe: Path) -> None:
        if not self.shots:
            return
        self.shots.mkdir(parents=True, exist_ok=True)
        for bmp in (exe.parent / "results").glob("shot-*.bmp"):
            target = self.shots / (bmp.stem[5:] + ".png")
            if shutil.which("convert"):
                subprocess.run(["convert", str(bmp), str(target)], check=False)
            else:
                shutil.copy(bmp, self.shots / bmp.name)

    # ---- the page's part: menu bar, themes, tray, notification

    def page_run(self) -> None:
        app_id, name = "StandInWin32", "Win32 parity"
        files = {"index.html": self.page("Parity"), "red.png": png(16, 16, (255, 0, 0, 255))}
        exe = self.r.pack("win32", {"ID": app_id, "Name": name}, files)
        red = "app/red.png"
        first = [
            {"id": 1, "caption": "&File", "items": [
                {"id": 11, "caption": "&Open", "image": red},
                {"id": 12, "caption": "-"},
                {"id": 13, "caption": "Close", "enabled": False, "image": red},
                {"id": 14, "caption": "-"}]},
            {"id": 2, "caption": "Help", "image": red},
            {"id": 3, "caption": "Off", "enabled": False, "image": red},
        ]
        second = [{"id": 7, "caption": "Only"}]
        steps = [
            post("menu", 12001, {"items": menu_json(first)}),
            {"probe": "menu", "name": "built"},
            post("update", 12002, {"id": "2", "caption": "Assist", "enabled": "false"}),
            {"probe": "menu", "name": "updated"},
            post("keep", 12001, {"items": menu_json(second)}),
            {"probe": "menu", "name": "kept"},
            {"menuClick": [0, 0], "name": "open"},
            post("clear", 12001, {"items": "[]"}),
            post("again", 12001, {"items": menu_json(first[:2])}),
            {"probe": "menu", "name": "again"},
            {"menuClick": [1], "name": "help"},
            {"probe": "colours", "name": "native"},
            post("dark", 80003, {"name": DARK}),
            {"probe": "colours", "name": "dark"},
            {"probe": "menu", "name": "dark menu"},
            {"screenshot": "main-dark"},
            post("light", 80003, {"name": LIGHT}),
            {"probe": "colours", "name": "light"},
            {"screenshot": "main-light"},
            post("native", 80003, {"name": "Windows"}),
            {"probe": "colours", "name": "native again"},
            {"probe": "menu", "name": "native menu"},
            # The tray: icon, tooltip, clicks, menu, the window-state rule.
            post("traymenu", 14003, {"items": menu_json([{"id": 41, "caption": "Tray item"}])}),
            post("show", 14001),
            {"probe": "tray", "name": "shown"},
            {"trayTooltip": True, "name": "tooltip"},
            {"trayClick": "left", "name": "left"},
            {"trayClick": "right", "item": 0, "name": "right"},
            post("minimize", 60004, {"state": "minimized"}),
            {"probe": "window", "name": "minimized"},
            post("restore", 60004, {"state": "normal"}),
            {"probe": "window", "name": "restored"},
            post("hide", 14002),
            {"probe": "tray", "name": "hidden"},
            # A notification: a balloon under Wine, on an icon of its own while the tray's is
            # hidden; its click as the shell would report it.
            post("notify", 11005, {"name": "n-1", "title": "Title", "body": "Body"}),
            {"probe": "tray", "name": "balloon"},
            {"trayCallback": NIN_BALLOONUSERCLICK, "icon": 2, "name": "balloon click"},
            {"probe": "tray", "name": "balloon gone"},
            {"closeWindow": True},
        ]
        results = self.r.run(exe, {"pages": {"file:///index.html": steps}}, "win32 page")
        self.keep_shots(exe)
        main = results[0] if results else {}
        self.expect(main.get("exitCode") == 0, f"exit code {main.get('exitCode')}")
        self.expect(main.get("scriptFinished") is True, "the script did not end")
        replies = self.r.replies(main)
        for uuid in ("menu", "update", "keep", "clear", "again", "dark", "light", "native",
                     "traymenu", "show", "minimize", "restore", "hide"):
            self.expect(replies.get(uuid, {}).get("result") is True,
                        f"{uuid}: {replies.get(uuid)}")
        steps_seen = {s["step"].get("name"): s.get("probe", {}) for s in main.get("steps", [])
                      if isinstance(s.get("step"), dict) and "name" in s["step"]}
        executed = main.get("executed", [])
        self.check_menus(steps_seen, executed)
        self.check_colours(steps_seen)
        self.check_tray(steps_seen, executed, replies)

    def check_menus(self, probe: dict, executed: list) -> None:
        built = probe.get("built", {})
        items = built.get("items", [])
        texts = [i.get("text") for i in items]
        self.expect(built.get("attached") is True and texts == ["&File", "&Help", "&Off"],
                    f"the bar's items: {texts}")
        if len(items) == 3:
            file_menu = items[0].get("submenu", [])
            # Separators at the end of a level are hidden; access keys are given.
            self.expect([(i["text"], i["separator"], i["disabled"], i["bitmap"])
                         for i in file_menu] ==
                        [("&Open", False, False, 16), ("", True, False, 0),
                         ("&Close", False, True, 16)], f"the File menu: {file_menu}")
            self.expect(items[1]["bitmap"] == 16 and items[1]["redPixels"] >= 100,
                        f"the Help item's picture: {items[1]}")
            self.expect(items[2]["disabled"] and items[2]["redPixels"] == 0 and
                        items[2]["greyPixels"] >= 100, f"the disabled item's picture: {items[2]}")
        updated = probe.get("updated", {}).get("items", [])
        self.expect(len(updated) == 3 and updated[1]["text"] == "&Assist" and
                    updated[1]["disabled"] and updated[1]["redPixels"] == 0 and
                    updated[1]["greyPixels"] >= 100, f"after updateItem: {updated[1:2]}")
        kept = probe.get("kept", {}).get("items", [])
        self.expect([i["text"] for i in kept] == ["&File", "&Assist", "&Off"],
                    f"a second non-empty list leaves the menu: {kept}")
        self.expect(probe.get("open", {}).get("clicked") is True, f"the click on Open: {probe.get('open')}")
        again = probe.get("again", {}).get("items", [])
        self.expect([i["text"] for i in again] == ["&File", "&Help"],
                    f"the menu after clearing and setting anew: {again}")
        clicks = [s for s in executed if "onMainMenuItemClick" in s]
        self.expect(clicks == ['vlx.events.onMainMenuItemClick("11");',
                               'vlx.events.onMainMenuItemClick("2");'],
                    f"menu clicks the page saw: {clicks}")

    def check_colours(self, probe: dict) -> None:
        native = probe.get("native", {})
        system = native.get("system", {})
        self.expect(native.get("client") == system.get("window"),
                    f"the system's look: client {native}")
        self.expect(native.get("bar") in (system.get("menu"), system.get("menubar")),
                    f"the system's look: bar {native}")
        for index, style in (("dark", DARK), ("light", LIGHT)):
            seen = probe.get(index, {})
            self.expect(seen.get("client") == COLOURS[style]["ground"] and
                        seen.get("bar") == COLOURS[style]["bar"],
                        f"{style}: client and bar {seen}")
        dark_menu = probe.get("dark menu", {}).get("items", [])
        self.expect(bool(dark_menu) and all(i["ownerDraw"] for i in dark_menu) and
                    dark_menu[1]["redPixels"] >= 100, f"the bar in {DARK}: {dark_menu}")
        back = probe.get("native again", {})
        self.expect(back.get("client") == native.get("client") and
                    back.get("bar") == native.get("bar"), f"back to Windows: {back}")
        native_menu = probe.get("native menu", {}).get("items", [])
        self.expect(bool(native_menu) and not any(i["ownerDraw"] for i in native_menu),
                    f"the bar back in the system's look: {native_menu}")

    def check_tray(self, probe: dict, executed: list, replies: dict) -> None:
        shown, hidden = probe.get("shown", {}), probe.get("hidden", {})
        self.expect(shown.get("window") is True and shown.get("trayIcon") is True,
                    f"the icon shown: {shown}")
        self.expect(hidden.get("trayIcon") is False, f"the icon hidden: {hidden}")
        # The tooltip is the executable's name, cut at its first full stop, in lower case after
        # its first character ("app.exe" gives "App"... as written: the first stays as it is).
        self.expect(probe.get("tooltip", {}).get("tooltip") == "app",
                    f"the tooltip: {probe.get('tooltip')}")
        self.expect(probe.get("right", {}).get("menuShown") is True,
                    f"the tray menu on a right click: {probe.get('right')}")
        self.expect(executed.count("vlx.events.onTrayIconClick();") == 1,
                    f"tray icon clicks: {[s for s in executed if 'Tray' in s]}")
        self.expect('vlx.events.onTrayMenuItemClick("41");' in executed,
                    f"the tray menu's item: {[s for s in executed if 'Tray' in s]}")
        self.expect(probe.get("minimized", {}).get("visible") is False,
                    f"minimized with the icon shown: the window hides: {probe.get('minimized')}")
        self.expect(probe.get("restored", {}).get("visible") is True and
                    probe.get("restored", {}).get("minimized") is False,
                    f"normal again: the window is back: {probe.get('restored')}")
        self.expect(replies.get("notify", {}).get("result") is True,
                    f"the notification: {replies.get('notify')}")
        self.expect(probe.get("balloon", {}).get("balloonIcon") is True,
                    f"the balloon's icon: {probe.get('balloon')}")
        self.expect('vlx.events.onNotificationClick("n-1");' in executed,
                    f"the balloon's click: {[s for s in executed if 'Notification' in s]}")
        self.expect(probe.get("balloon gone", {}).get("balloonIcon") is False,
                    f"the balloon's icon goes with its click: {probe.get('balloon gone')}")

    # ---- start-ups in a style: the password form and a start-up dialog

    def startup_runs(self) -> None:
        """Per style one run: the password form, typed; then the page starts the executable once
        more on a machine without the web view runtime, whose question is declined."""
        for style, tag in ((DARK, "dark"), (LIGHT, "light")):
            exe = self.r.pack(f"win32-{tag}", {"ID": f"StandInWin32{tag.title()}",
                                                "Name": f"Locked {tag}", "Theme": style,
                                                "Password": "pw"},
                              {"index.html": self.page("Locked")})
            spawn = {"spawn": {"args": [], "env": {"VELLOC_STANDIN_NO_RUNTIME": "1"},
                               "waitMs": 30000}}
            script = {"password": {"type": "pw", "screenshot": f"password-{tag}"},
                      "startupDialogs": [{"screenshot": f"dialog-{tag}"}, {}],
                      "pages": {"file:///index.html": [spawn, {"closeWindow": True}]},
                      "expectProcesses": 2}
            results = self.r.run(exe, script, f"win32 start-ups {tag}")
            self.keep_shots(exe)
            main = results[0] if results else {}
            form = main.get("passwordForm", {})
            self.expect(form.get("ground") == COLOURS[style]["ground"] and
                        form.get("field") == COLOURS[style]["field"] and
                        main.get("webViewCreated") is True,
                        f"the password form in {style}: {form}")
            child = results[1] if len(results) > 1 else {}
            dialogs = child.get("startupDialogs", [])
            self.expect(len(dialogs) == 2 and
                        all(d.get("ground") == COLOURS[style]["ground"] for d in dialogs),
                        f"the start-up dialogs in {style}: {dialogs}")
            self.expect(child.get("exitCode") == 0 and not child.get("webViewCreated"),
                        f"declining the runtime ends the start: {child.get('exitCode')}")


def run(runner, page, screenshots: Path | None) -> None:
    parity = Win32Parity(runner, page, screenshots)
    parity.page_run()
    parity.startup_runs()
    runs = [f"{what} {seconds:.1f} s" for what, seconds in runner.timings if what.startswith("win32")]
    print(f"     win32 runs: {', '.join(runs)}")
