#!/usr/bin/env python3
"""New windows and permissions: the application's pages open further instances, other pages
open pop-up windows of the same process, and permissions are granted to the application's own
pages unasked while other pages are asked once."""

from __future__ import annotations

import sys
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases, wait_until
from test_foreign import web_server

APP_ID = "E2EWindows"


def windows_of_others(session: XSession, pid: int, name: str) -> list[int]:
    """Windows titled name that belong to another process than pid."""
    own = set(session.find_windows(pid=pid))
    return [w for w in session.find_windows(name=f"^{name}$") if w not in own]


def new_instances(args, artifacts: Path) -> None:
    """window.open and a target=_blank link to package pages start further instances showing
    those pages, without the password and although AllowInstances is off."""
    files = {
        "index.html": page(
            '<a id="link" href="page3.html" target="_blank">three</a>'
            "<script>window.addEventListener('load', () => {"
            "  window.open('page2.html');"
            "  setTimeout(() => document.getElementById('link').click(), 500);"
            "});</script>", title="first page"),
        "page2.html": page("<p>second</p>", title="second page"),
        "page3.html": page("<p>third</p>", title="third page"),
    }
    with XSession("instances", artifacts, args.bin_dir) as session:
        exe = session.make_app("app", {"ID": APP_ID, "Name": "Windows", "DynamicAppTitle": 1,
                                       "Password": "secret", "AllowInstances": 0}, files)
        # The first argument AppID skips the password form, so the first window opens too.
        first = session.launch(exe, APP_ID)
        first_window = first.wait_window()
        session.wait_title(first_window, lambda t: t == "first page")
        for title in ("second page", "third page"):
            wid = wait_until(lambda: (windows_of_others(session, first.pid, title) or [None])[0],
                             30, f"a window of another process titled {title!r}")
            expect(wid is not None, f"no window {title!r}")
        expect(first.running(), "the first instance ended")
        expect_eq(len(session.find_windows(pid=first.pid)), 1,
                  "windows of the first process (the pages opened in other processes)")
        session.screenshot(artifacts / "instances.png")


GEOLOCATION = """
function where() {
  return new Promise((done) => navigator.geolocation.getCurrentPosition(
      () => done("allowed"), (e) => done(e.code === e.PERMISSION_DENIED ? "denied" : "allowed"),
      {timeout: 3000}));
}
"""

REMOTE_POPUP = page(
    "<p>remote</p><script>" + GEOLOCATION +
    "async function run() {"
    "  const a = await where();"
    "  const b = await where();"
    "  document.title = 'done ' + a + ' ' + b;"
    "  setTimeout(() => window.close(), 1500);"
    "}"
    "run();</script>", title="remote popup")

# Two targets for clicks at known places: WebKit asks for notifications only on a user action.
OWN_PAGE_BODY = """
<div id="ask" style="position:absolute;left:0;top:0;width:200px;height:100px">ask</div>
<a id="link" style="position:absolute;left:0;top:150px;width:200px;height:100px;display:block"
   href="{origin}/popup.html" target="_blank">remote</a>
<script>""" + GEOLOCATION + """
document.getElementById("ask").addEventListener("click", async () => {
  const notification = await Notification.requestPermission();
  report({notification, location: await where()});
});
</script>"""


def named(session: XSession, pid: int, pattern: str) -> list[int]:
    """Visible windows of the process whose title matches pattern (both conditions)."""
    out = session.x("xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name",
                    pattern, check=False)
    return [int(w) for w in out.split()]


def click(session: XSession, wid: int, x: int, y: int) -> None:
    session.x("xdotool", "windowactivate", "--sync", str(wid))
    session.x("xdotool", "mousemove", "--window", str(wid), str(x), str(y))
    session.x("xdotool", "click", "1")


def popup_and_permissions(args, artifacts: Path) -> None:
    """The application's page is granted notifications and the location unasked; a target=_blank
    link to a web server opens a pop-up window in the same process, whose permission request
    asks the user; window.close() in the pop-up closes it."""
    web = artifacts / "web"
    web.mkdir()
    (web / "popup.html").write_text(REMOTE_POPUP, encoding="utf-8")
    with web_server(web) as origin, XSession("popup", artifacts, args.bin_dir) as session:
        own = page(OWN_PAGE_BODY.replace("{origin}", origin), title="own page",
                   head=PAGE_HELPERS)
        exe = session.make_app("popup", {"ID": APP_ID, "Name": "Windows",
                                         "DynamicAppTitle": 1}, {"index.html": own})
        app = session.launch(exe)
        wid = app.wait_window()
        session.wait_title(wid, lambda t: t == "own page")
        click(session, wid, 50, 50)
        result = session.wait_result(app, wid, timeout=40)
        expect_eq(result, {"notification": "granted", "location": "allowed"},
                  "permissions of the application's page")
        expect_eq(len(app.windows()), 1, "windows after the application's requests (no question)")

        click(session, wid, 50, 200)
        question = wait_until(lambda: (named(session, app.pid, "^Permission$")
                                       or [None])[0], 30, "the permission question")
        session.screenshot(artifacts / "question.png")
        session.press(question, "alt+a")
        popup = wait_until(lambda: (named(session, app.pid, "^done ")
                                    or [None])[0], 30, "the pop-up's result")
        expect_eq(session.title(popup), "done allowed allowed", "the pop-up's answers")
        expect(not named(session, app.pid, "^Permission$"), "a second question")
        session.screenshot(artifacts / "popup.png")
        wait_until(lambda: not named(session, app.pid, "^done "), 20,
                   "window.close() to close the pop-up")
        expect(app.running(), "the application ended with its pop-up")
        expect_eq(session.find_windows(pid=app.pid), [wid], "windows left")


CASES = {"new_instances": new_instances, "popup_and_permissions": popup_and_permissions}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
