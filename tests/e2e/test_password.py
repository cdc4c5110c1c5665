#!/usr/bin/env python3
"""The password gate: typing the password opens the application on the release of its last
key; another letter case does not; closing the form ends the process with 0."""

from __future__ import annotations

import sys
import time
from pathlib import Path

from harness import XSession, expect, expect_eq, page, run_cases, wait_until

APP_ID = "E2EPassword"
PASSWORD = "Open Sesame1"
FILES = {"index.html": page("<p>inside</p>", title="inside")}


def start(session: XSession) -> tuple:
    exe = session.make_app("app", {"ID": APP_ID, "Name": "Gate App", "DynamicAppTitle": 1,
                                   "Password": f"  {PASSWORD} "}, FILES)
    app = session.launch(exe)
    form = app.wait_window()
    expect_eq(session.title(form), "Gate App", "caption of the password form")
    rect = session.client_rect(form)
    expect_eq((rect.width, rect.height), (308, 71), "client size of the password form")
    expect("DIALOG" in session.window_types(form), "the form is a dialog window")
    return app, form


def type_text(session: XSession, wid: int, text: str) -> None:
    session.x("xdotool", "windowactivate", "--sync", str(wid))
    session.x("xdotool", "type", "--delay", "60", text)


def typed_password(args, artifacts: Path) -> None:
    """A wrong letter case leaves the form open; after clearing it, typing the (trimmed)
    password opens the application's window and closes the form."""
    with XSession("typed", artifacts, args.bin_dir) as session:
        app, form = start(session)
        type_text(session, form, PASSWORD.upper())
        session.screenshot(artifacts / "form.png")
        time.sleep(1)
        expect_eq(app.windows(), [form], "windows after a password in the wrong case")
        session.press(form, "ctrl+a", "BackSpace")
        type_text(session, form, PASSWORD)
        main = wait_until(lambda: [w for w in app.windows() if w != form], 30,
                          "the application's window")[0]
        session.wait_title(main, lambda t: t == "inside")
        wait_until(lambda: app.windows() == [main], 10, "the password form to close")


def closed_form(args, artifacts: Path) -> None:
    """Closing the form ends the application with exit code 0 and no further window."""
    with XSession("closed", artifacts, args.bin_dir) as session:
        app, form = start(session)
        type_text(session, form, PASSWORD[:-1])
        session.close_window(form, how="keys")
        expect_eq(app.wait(15), 0, "exit code after closing the password form")


CASES = {"typed_password": typed_password, "closed_form": closed_form}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
