#!/usr/bin/env python3
"""The themes functions on the real runtime: a page lists the styles and switches between a dark,
a light and the native one while a file chooser shows each; the chooser's pixels must follow the
style. The configured style is active again after a restart, and an unknown one is reported."""

from __future__ import annotations

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from harness import (PAGE_HELPERS, Image, Rect, XSession, expect, expect_eq,  # noqa: E402
                     page, run_cases, wait_until)

FIRST, LAST = "Amakrits", "Windows10 SlateGray"

# The page switches the style and, where the test takes a picture, opens a file chooser under a
# title naming the step; the test presses Escape, which lets the page go on to the next step.
SWITCH_PAGE = page("<p>themes</p>" + PAGE_HELPERS + r"""
<script>
const T = vlx.themes;
const dark = () => matchMedia("(prefers-color-scheme: dark)").matches;
async function step(name, r, picture) {
  r.set.push(await T.setTheme({name}));
  r.active.push(await T.getTheme());
  r.darkPage.push(dark());
  if (picture) await vlx.dialogs.openFile({title: "Step " + name});
}
async function run() {
  const r = {initial: await T.getTheme(), list: await T.getThemes(), set: [], active: [],
             darkPage: [dark()]};
  await step("Carbon", r, true);
  await step("Iceberg Classico", r, true);
  await step("carbon", r);           // other letter case: switches, answers false
  await step("No Such Style", r);    // unchanged, false
  await step("Windows", r, true);
  report(r);
}
run().catch((e) => report({error: String(e)}));
</script>""")

RESTART_PAGE = page("<p>restart</p>" + PAGE_HELPERS + r"""
<script>
async function run() {
  const r = {active: await vlx.themes.getTheme()};
  r.set = await vlx.themes.setTheme({name: "Sky"});
  r.after = await vlx.themes.getTheme();
  report(r);
}
run().catch((e) => report({error: String(e)}));
</script>""")


def luminance(rgb: tuple[int, int, int]) -> float:
    r, g, b = rgb
    return (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255


def share(image: Image, test) -> float:
    """The fraction of the image's pixels whose colour passes the test."""
    colours = image.colours()
    total = sum(colours.values())
    return sum(n for c, n in colours.items() if test(c)) / max(1, total)


def near(colour: tuple[int, int, int], tolerance: int = 6):
    return lambda c: all(abs(a - b) <= tolerance for a, b in zip(c, colour))


def dialog_picture(session: XSession, app, title: str, name: str) -> Image:
    """Waits for the chooser under that title, returns its pixels and closes it with Escape."""
    def shown() -> int | None:
        out = session.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.pid),
                           "--name", f"^{title}$"], check=False).stdout.split()
        return int(out[0]) if out else None

    wid = wait_until(shown, 30, f"the dialog {title!r}")
    session.x("xdotool", "windowactivate", "--sync", str(wid))
    rect: Rect = session.wait_settled(wid)
    inner = session.client_rect(wid)
    # GTK restyles on its next frame; the picture is taken once two in a row agree.
    previous = None
    for _ in range(20):
        time.sleep(0.4)
        image = session.screenshot(session.artifacts / f"{name}.png", inner).crop(inner)
        if previous is not None and image.pixels == previous.pixels:
            break
        previous = image
    expect(rect.width > 200 and rect.height > 200, f"{title!r} is a dialog: {rect}")
    session.x("xdotool", "key", "--clearmodifiers", "Escape")
    wait_until(lambda: shown() is None, 20, f"the dialog {title!r} to close")
    return image


def switch(args, artifacts: Path) -> None:
    with XSession("switch", artifacts, args.bin_dir) as session:
        exe = session.make_app("switch", {"ID": "E2EThemes", "Name": "Themes",
                                          "DynamicAppTitle": 1}, {"index.html": SWITCH_PAGE})
        app = session.launch(exe)
        main = app.wait_window()
        carbon = dialog_picture(session, app, "Step Carbon", "carbon")
        iceberg = dialog_picture(session, app, "Step Iceberg Classico", "iceberg")
        native = dialog_picture(session, app, "Step Windows", "native")
        r = session.wait_result(app, main)

        expect_eq(r.get("error"), None, "page error")
        expect_eq(r["initial"], "Windows", "the style at start")
        names = r["list"]
        expect_eq(len(names), 40, "number of styles")
        expect_eq((names[0], names[-1]), (FIRST, LAST), "first and last style")
        expect_eq(names[names.index("Windows") + 1], "Windows10", "the name after Windows")
        expect_eq(r["set"], [True, True, False, False, True], "setTheme answers")
        expect_eq(r["active"], ["Carbon", "Iceberg Classico", "Carbon", "Carbon", "Windows"],
                  "getTheme after each step")
        # The page's own colours are not the style's business.
        expect_eq(r["darkPage"], [False] * 6, "prefers-color-scheme: dark in the page")

        # Carbon: the chooser is mostly dark, its window ground the palette's (#1f1f1f).
        expect(share(carbon, lambda c: luminance(c) < 0.25) > 0.6,
               f"Carbon draws a dark chooser: {share(carbon, lambda c: luminance(c) < 0.25):.2f}")
        expect(share(carbon, near((0x1F, 0x1F, 0x1F))) > 0.02, "Carbon's window colour shows")
        # Iceberg Classico and the native look are light; only Iceberg shows its icy ground.
        for image, what in ((iceberg, "Iceberg Classico"), (native, "the native look")):
            light = share(image, lambda c: luminance(c) > 0.75)
            expect(light > 0.6, f"{what} draws a light chooser: {light:.2f}")
        expect(share(iceberg, near((0xED, 0xF3, 0xF7))) > 0.02, "Iceberg's window colour shows")
        expect(share(native, near((0xED, 0xF3, 0xF7), 2)) < 0.01,
               "the native look is back after Windows")
        expect(share(native, lambda c: luminance(c) < 0.25) < 0.2, "the native look is not dark")


def restart(args, artifacts: Path) -> None:
    with XSession("restart", artifacts, args.bin_dir) as session:
        exe = session.make_app("restart", {"ID": "E2EThemesRestart", "Name": "Restart",
                                           "DynamicAppTitle": 1, "Theme": "Carbon"},
                               {"index.html": RESTART_PAGE})
        for run in (1, 2):
            app = session.launch(exe)
            main = app.wait_window()
            r = session.wait_result(app, main)
            expect_eq(r, {"active": "Carbon", "set": True, "after": "Sky"}, f"start {run}")
            app.kill()


def unknown(args, artifacts: Path) -> None:
    with XSession("unknown", artifacts, args.bin_dir) as session:
        exe = session.make_app("unknown", {"ID": "E2EThemesUnknown", "Name": "Unknown",
                                           "DynamicAppTitle": 1, "Theme": "Nope"},
                               {"index.html": RESTART_PAGE})
        app = session.launch(exe)
        # Start-up says so before the main window exists, then goes on with the native look.
        wid = app.wait_window()
        session.screenshot(artifacts / "message.png", session.outer_rect(wid))
        expect_eq(session.title(wid), "Error", "the first window's title")
        session.press(wid, "Return")
        main = wait_until(lambda: [w for w in app.windows() if w != wid], 30, "the main window")[0]
        r = session.wait_result(app, main)
        expect_eq(r, {"active": "Windows", "set": True, "after": "Sky"}, "after the message")


CASES = {"switch": switch, "restart": restart, "unknown": unknown}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
