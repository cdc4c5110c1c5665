#!/usr/bin/env python3
"""Start-up ends: the bare runtime's localized dialog, and packages that end silently."""

from __future__ import annotations

import sys
import time
from pathlib import Path

from harness import XSession, expect, expect_eq, page, run_cases

# Title of the error dialog and text 5 of each language row; any other language gets English.
NOT_AN_APP = [
    # LANGUAGE, title, text
    ("en", "Error", "This is not a valid Linux application."),
    ("de_AT", "Error", "Dies ist keine gültige Linux-Anwendung."),
    ("fr", "Erreur", "Ce n'est pas une application Linux valide."),
    ("it", "Errore", "Questa non è un'applicazione Linux valida."),
    ("zh_TW", "错误", "这不是有效的Linux应用程序。"),
    ("pt_BR", "Error", "This is not a valid Linux application."),
]


def bare_runtime_dialog(args, artifacts: Path) -> None:
    """The runtime with nothing appended shows the error dialog in the user's language, and says
    the same on standard error; Escape does nothing there, Enter presses its only button, and
    the process exits with 0."""
    runtime = args.bin_dir / "velloc-runtime"
    for language, title, _ in NOT_AN_APP:
        with XSession("bare", artifacts / language) as session:
            app = session.launch(runtime, env={"LANGUAGE": language})
            wid = app.wait_window()
            expect_eq(session.title(wid), title, f"dialog title for LANGUAGE={language}")
            expect("DIALOG" in session.window_types(wid), "the message is a dialog window")
            if language == "en":
                # Whoever started it from a terminal reads it there too.
                expect("Error: This is not a valid Linux application." in app.output(),
                       f"the message on standard error: {app.output()!r}")
                session.screenshot(artifacts / "dialog.png")
                session.press(wid, "Escape")
                time.sleep(1)
                expect(app.running() and app.windows() == [wid], "Escape closed the dialog")
            session.press(wid, "Return")
            expect_eq(app.wait(15), 0, f"exit code after the dialog (LANGUAGE={language})")


def bare_runtime_close_box(args, artifacts: Path) -> None:
    """Closing the dialog through the window manager ends the process the same way."""
    with XSession("bare", artifacts) as session:
        app = session.launch(args.bin_dir / "velloc-runtime")
        wid = app.wait_window()
        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code after closing the dialog")


def bare_runtime_texts(args, artifacts: Path) -> None:
    """Without a display the same message goes to standard error, which shows its text."""
    runtime = args.bin_dir / "velloc-runtime"
    with XSession("bare", artifacts) as session:
        for language, title, text in NOT_AN_APP:
            app = session.launch(runtime, env={"LANGUAGE": language}, unset=["DISPLAY"])
            expect_eq(app.wait(15), 0, f"exit code without a display (LANGUAGE={language})")
            expect(f"{title}: {text}" in app.output(),
                   f"LANGUAGE={language}: expected {title}: {text!r} in the output, got "
                   f"{app.output()!r}")


def packed_app_without_display(args, artifacts: Path) -> None:
    """A packed application started without a display says so on standard error and ends with
    code 1, instead of aborting inside WebKit."""
    with XSession("nodisplay", artifacts, args.bin_dir) as session:
        exe = session.make_app("nodisplay", {"ID": "E2ENoDisplay", "Name": "No display"},
                               {"index.html": "<p>x</p>"})
        app = session.launch(exe, unset=["DISPLAY", "WAYLAND_DISPLAY"])
        expect_eq(app.wait(30), 1, "exit code without a display")
        expect("Application Error: Cannot open the display" in app.output(),
               f"the report on standard error: {app.output()!r}")


def silent_ends(args, artifacts: Path) -> None:
    """A package whose ID, Name or DirName is missing or empty, or that has no vlx.ini, ends at
    once with 0, shows no window and creates no data folder. The packer refuses to build such
    packages, so they are attached without its checks."""
    index = page("<p>never shown</p>")
    table = [
        ("no-dirname", "[App]\nID=E2ENoDir\nName=No Dir\n"),
        ("empty-dirname", "[App]\nID=E2EEmptyDir\nName=Empty Dir\nDirName=\n"),
        ("dirname-without-value", "[App]\nID=E2EDirKey\nName=Dir Key\nDirName=app\nDirName\n"),
        ("no-id", "[App]\nName=No Id\nDirName=app\n"),
        ("no-name", "[App]\nID=E2ENoName\nDirName=app\n"),
        ("no-ini", None),
    ]
    expect(args.rawpack is not None, "--rawpack is required")
    with XSession("silent", artifacts, args.bin_dir) as session:
        for name, ini in table:
            entries = {"app/index.html": index}
            if ini is not None:
                entries["vlx.ini"] = ini
            exe = session.raw_pack(args.rawpack, artifacts / f"{name}.bin", entries)
            app = session.launch(exe)
            session.wait_no_window(app, 15)
            expect_eq(app.wait(5), 0, f"{name}: exit code")
            data = Path(session.env["XDG_DATA_HOME"])
            expect(not any(data.iterdir()), f"{name}: created a data folder")


CASES = {
    "bare_runtime_dialog": bare_runtime_dialog,
    "bare_runtime_close_box": bare_runtime_close_box,
    "bare_runtime_texts": bare_runtime_texts,
    "silent_ends": silent_ends,
    "packed_app_without_display": packed_app_without_display,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
