#!/usr/bin/env python3
"""The web view runtime installer flow on a machine where the WebKit module cannot load (a
damaged WebKitGTK library first on the library path): the question, Cancel, EdgeInstaller=0,
and Yes with a test installer script (packed with --installer) that repairs it, under the busy
form in each of its designs."""

from __future__ import annotations

import os
import stat
import sys
import time
import zlib
from pathlib import Path

from harness import (XSession, expect, expect_eq, page, parse_cardinals, run_cases, wait_until,
                     write_app)

APP_ID = "E2EInstaller"
FILES = {"index.html": page("<p>installed</p>", title="installed page")}
INSTALLER_ENTRY = "VellocWebKitInstaller.sh"

# Waits for the test's go-ahead, then repairs WebKitGTK (or fails) and records its arguments.
SCRIPT = """#!/bin/sh
echo "$@" > "{marks}/args"
while [ ! -e "{marks}/go" ]; do sleep 0.1; done
{action}
"""


class Setup:
    """A packed app on a machine whose WebKitGTK library is broken: a damaged copy of it comes
    first on the library path, so the module cannot load until the installer script removes
    it."""

    def __init__(self, session: XSession, args, artifacts: Path, ini: dict, repair: bool):
        module = next(args.bin_dir.glob("velloc-webkit-*.so"))
        version = module.name[len("velloc-webkit-"):-len(".so")]
        crc = zlib.crc32(module.read_bytes())
        self.data_dir = Path(session.env["XDG_DATA_HOME"]) / APP_ID
        folder = self.data_dir / "Linux64" / f"velloc-webkit-{version}-{crc:08x}"
        self.module_path = folder / f"velloc-webkit-{version}.so"
        self.installer_path = self.data_dir / INSTALLER_ENTRY
        self.marks = artifacts / "marks"
        self.marks.mkdir()
        fake = artifacts / "brokenlib"
        fake.mkdir()
        self.broken_library = fake / "libwebkit2gtk-4.1.so.0"
        self.broken_library.write_bytes(b"not a library")
        self.env = {"LD_LIBRARY_PATH": str(fake)}
        action = (f'rm -f "{self.broken_library}"' if repair else "exit 3")
        script = artifacts / "installer.sh"
        script.write_text(SCRIPT.format(marks=self.marks, action=action))
        app_dir = write_app(artifacts / "app", {"ID": APP_ID, "Name": "Installer",
                                                "DynamicAppTitle": 1, **ini}, FILES)
        self.exe = artifacts / "app.bin"
        session.run([str(args.bin_dir / "velloc"), "pack", str(app_dir), "-o", str(self.exe),
                     "--installer", str(script), "--quiet"], timeout=120)

    def go(self) -> None:
        (self.marks / "go").touch()


def named(session: XSession, app, pattern: str) -> list[int]:
    """Visible windows of the app whose title matches pattern (both conditions)."""
    out = session.x("xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.pid),
                    "--name", pattern, check=False)
    return [int(w) for w in out.split()]


def dialog(session: XSession, app, title: str) -> int:
    wid = wait_until(lambda: (named(session, app, f"^{title}$") or [None])[0], 30,
                     f"the dialog {title!r}")
    expect("DIALOG" in session.window_types(wid), f"{title!r} is a dialog window")
    return wid


def switched_off(args, artifacts: Path) -> None:
    """EdgeInstaller=0: text 6, and nothing is extracted or run."""
    with XSession("off", artifacts, args.bin_dir) as session:
        setup = Setup(session, args, artifacts, {"EdgeInstaller": 0}, repair=True)
        app = session.launch(setup.exe, env=setup.env)
        wid = dialog(session, app, "Error")
        session.screenshot(artifacts / "text6.png")
        session.press(wid, "Return")
        expect_eq(app.wait(15), 0, "exit code")
        expect(not list(setup.data_dir.glob("installer-*")), "the installer was extracted")
        expect(not (setup.marks / "args").exists(), "the installer ran")
        expect(setup.module_path.is_file(), "the data folder was touched")


def declined(args, artifacts: Path) -> None:
    """Cancel (Escape) on the question removes the data folder and shows text 8. A data folder
    that is a link to another folder goes as a link: what it points to stays whole."""
    with XSession("cancel", artifacts, args.bin_dir) as session:
        setup = Setup(session, args, artifacts, {}, repair=True)
        elsewhere = artifacts / "elsewhere"
        for linked in (False, True):
            if linked:
                elsewhere.mkdir()
                (elsewhere / "precious").write_text("keep")
                setup.data_dir.parent.mkdir(parents=True, exist_ok=True)
                setup.data_dir.symlink_to(elsewhere, target_is_directory=True)
            app = session.launch(setup.exe, env=setup.env)
            question = dialog(session, app, "Confirm")
            session.screenshot(artifacts / "question.png")
            session.press(question, "Escape")
            error = dialog(session, app, "Error")
            expect(not os.path.lexists(setup.data_dir), "the data folder is still there")
            session.press(error, "Return")
            expect_eq(app.wait(15), 0, "exit code")
            expect(not (setup.marks / "args").exists(), "the installer ran")
        expect_eq((elsewhere / "precious").read_text(), "keep", "the link's target")


def busy_form(session: XSession, app) -> int:
    wid = wait_until(lambda: next((w for w in app.windows()
                                   if session.client_rect(w).width == 80), None),
                     30, "the busy form")
    rect = session.client_rect(wid)
    expect_eq((rect.width, rect.height), (80, 80), "size of the busy form")
    expect(not session.decorated(wid), "the busy form has a frame")
    centre = (rect.left + 40, rect.top + 40)
    expect(abs(centre[0] - 640) <= 1 and abs(centre[1] - 512) <= 1,
           f"the busy form is not centred: {rect}")
    return wid


def accepted(args, artifacts: Path) -> None:
    """Yes runs the packed script (with "/silent /install"), written afresh into a private
    folder, never an installer another program placed in the data folder, under the busy form,
    which Alt+F4 does not close; the script repairs WebKitGTK and the application starts again
    by itself without arguments, with its page, and the installer file is gone."""
    if os.geteuid() != 0:
        print("(runs as root only: pkexec needs an authentication agent)")
        return
    with XSession("yes", artifacts, args.bin_dir) as session:
        setup = Setup(session, args, artifacts, {}, repair=True)
        # An installer another program placed where an earlier attempt would have left one.
        setup.data_dir.mkdir(parents=True)
        setup.installer_path.write_text(f"#!/bin/sh\ntouch '{setup.marks}/planted'\n")
        setup.installer_path.chmod(0o755)
        app = session.launch(setup.exe, "first", "arguments", env=setup.env)
        question = dialog(session, app, "Confirm")
        session.press(question, "Return")
        form = busy_form(session, app)
        expect_eq((setup.marks / "args").read_text().strip(), "/silent /install",
                  "the installer's arguments")
        running = list(setup.data_dir.glob(f"installer-*/{INSTALLER_ENTRY}"))
        expect_eq(len(running), 1, "installer files while it runs")
        expect_eq(stat.S_IMODE(running[0].parent.stat().st_mode), 0o700, "the installer's folder")
        session.close_window(form, how="keys")
        time.sleep(1)
        expect(app.running() and form in app.windows(), "Alt+F4 closed the busy form")
        setup.go()
        expect_eq(app.wait(30), 0, "exit code of the first process")
        again = wait_until(lambda: session.find_windows(name="^installed page$"), 40,
                           "the restarted application's page")
        expect_eq(len(again), 1, "windows of the restarted application")
        pid = parse_cardinals(session.xprop(again[0], "_NET_WM_PID"))[0]
        cmdline = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")
        expect_eq(cmdline[1:], [b""], "arguments of the restarted application")
        expect(not running[0].parent.exists(), "the installer file is still there")
        expect(not (setup.marks / "planted").exists(), "the placed installer ran")
        expect(not setup.broken_library.exists(), "the script did not repair WebKitGTK")


def designs(args, artifacts: Path) -> None:
    """The busy form in each design and colour, then a failing installer: text 9, and the data
    folder is removed."""
    if os.geteuid() != 0:
        print("(runs as root only: pkexec needs an authentication agent)")
        return
    for design, white, colour in ((0, 1, "$00D77800"), (1, 0, "$0000C0FF"), (2, 1, None)):
        ini = {"InstallIndicatorType": design, "InstallIndicatorColor": white}
        if colour:
            ini["InstallFormColor"] = colour
        folder = artifacts / f"design{design}"
        folder.mkdir()
        with XSession(f"design{design}", folder, args.bin_dir) as session:
            setup = Setup(session, args, folder, ini, repair=False)
            app = session.launch(setup.exe, env=setup.env)
            session.press(dialog(session, app, "Confirm"), "Return")
            form = busy_form(session, app)
            rect = session.client_rect(form)
            time.sleep(0.5)
            first = session.screenshot(artifacts / f"busy-design{design}.png", rect)
            time.sleep(0.3)
            second = session.screenshot(folder / "later.png", rect)
            shot = first.crop(rect)
            ink = (255, 255, 255) if white else (0, 0, 0)
            expect(shot.colours().get(ink, 0) > 15, f"design {design}: no indicator pixels")
            expect(first.crop(rect).pixels != second.crop(rect).pixels,
                   f"design {design}: the indicator does not move")
            setup.go()
            error = dialog(session, app, "Error")
            expect(form in app.windows(), "the busy form left before the message")
            session.press(error, "Return")
            expect_eq(app.wait(15), 0, "exit code")
            expect(not setup.data_dir.exists(), "the data folder is still there")


CASES = {"switched_off": switched_off, "declined": declined, "accepted": accepted,
         "designs": designs}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
