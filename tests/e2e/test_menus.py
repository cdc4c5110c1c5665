#!/usr/bin/env python3
"""The main menu: a page sets a menu bar with a submenu, images and access keys; a click on a
child item and its access keys reach the page's onMainMenuItemClick with the item's ID."""

from __future__ import annotations

import struct
import sys
import time
import zlib
from pathlib import Path

from harness import (PAGE_HELPERS, RESOLVED, XSession, count_near, expect, expect_eq, page,
                     run_cases, settled, wait_until)

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
  ready = r;
  report({...r, clicks});
}
run().catch((e) => report({error: String(e)}));
</script>""").replace("ITEMS", __import__("json").dumps(ITEMS))


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
            "clicks": [],
        }
        for key, value in expected.items():
            expect_eq(result.get(key), value, key)
        # The tray is not built on every platform; where it is, the broken item is refused.
        expect(result["wrongItem"] in (settled("rejected", "Wrong menu item JSON"),
                                       settled("rejected", "Not supported")),
               f"wrongItem: {result['wrongItem']}")

        session.wait_settled(wid)
        rect = session.client_rect(wid)
        # A click on the bar's first entry opens the submenu; a click on its first child runs
        # the page's handler with that child's ID.
        session.x("xdotool", "mousemove", str(rect.left + 18), str(rect.top + 12), "click", "1")
        popup = wait_until(lambda: [w for w in popup_windows(session) if w != wid], 10,
                           "the submenu to open")[0]
        popup_rect = session.client_rect(popup)
        time.sleep(0.5)
        image = session.screenshot(artifacts / "submenu.png")
        shown = image.crop(popup_rect).colours()
        # The enabled item's image is red; the disabled one's blue image is drawn in grey.
        expect(count_near(shown, RED, 40) >= 150, f"red image pixels: {count_near(shown, RED, 40)}")
        expect_eq(count_near(shown, BLUE, 60), 0, "blue pixels of the disabled item's image")
        session.x("xdotool", "mousemove", str(popup_rect.left + 40), str(popup_rect.top + 16),
                  "click", "1")
        result = session.wait_result(app, wid, timeout=10)
        wait_until(lambda: session.wait_result(app, wid)["clicks"], 10, "the click to arrive")
        expect_eq(session.wait_result(app, wid)["clicks"], ["11"], "clicked IDs")

        # Access keys: Alt+F opens File, C picks the updated "&Close all".
        session.press(wid, "alt+f")
        time.sleep(0.5)
        session.x("xdotool", "key", "c")
        wait_until(lambda: len(session.wait_result(app, wid)["clicks"]) == 2, 10,
                   "the access-key click to arrive")
        expect_eq(session.wait_result(app, wid)["clicks"], ["11", "12"], "clicked IDs")
        session.screenshot(artifacts / "screenshot.png", rect)

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
        if "Override Redirect State: yes" in info and "Map State: IsViewable" in info:
            windows.append(wid)
    return windows


CASES = {"main_menu": main_menu}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
