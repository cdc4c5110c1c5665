#!/usr/bin/env python3
"""The runtime survives what a page or the machine does to it: a request for a huge local file
is streamed instead of read into memory; a killed web process brings the page back once, then
shows an error page, and the window still closes on an ordinary close request; a page that only
computes for a long time is asked about (wait or reload) and keeps its state unless the user
chooses to reload it."""

from __future__ import annotations

import os
import signal
import subprocess
import sys
import time
from pathlib import Path

from harness import PAGE_HELPERS, RESOLVED, XSession, expect, expect_eq, page, run_cases, \
    settled, wait_until

VERSION = "2026.10"


def huge_file(args, artifacts: Path) -> None:
    """A page reads the first bytes of a sparse file of a terabyte by its absolute path and
    stops; the runtime stays up and keeps answering."""
    huge = artifacts / "sparse.dat"
    with open(huge, "wb") as f:
        f.truncate(1 << 40)
    index = page("<p>huge</p>", head=PAGE_HELPERS + r"""
<script>
window.addEventListener("load", async () => {
  const r = {};
  try {
    const response = await fetch("file://%s");
    const reader = response.body.getReader();
    const first = await reader.read();
    r.first = first.value ? first.value.length > 0 && first.value.every((b) => b === 0) : false;
    await reader.cancel();
  } catch (e) { r.first = String(e); }
  r.hello = await settle(vlx.hello(), 5000);
  report(r);
});
</script>""" % huge)
    with XSession("huge", artifacts, args.bin_dir) as session:
        exe = session.make_app("huge", {"ID": "E2EHuge", "Name": "Huge", "DynamicAppTitle": 1},
                               {"index.html": index})
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=40)
        expect_eq(result.get("first"), True, "the first bytes of the huge file")
        expect_eq(result.get("hello"), settled(RESOLVED, VERSION), "a bridge call afterwards")
        expect(app.running(), "the runtime ended")


def web_processes(pgid: int) -> list[int]:
    out = subprocess.run(["pgrep", "-g", str(pgid), "-f", "WebKitWebProcess"],
                         capture_output=True, text=True, check=False).stdout
    return [int(p) for p in out.split()]


def kill_web_process(app) -> None:
    pids = wait_until(lambda: web_processes(app.pid), 20, "a web process")
    for pid in pids:
        os.kill(pid, signal.SIGKILL)


def start(session: XSession, name: str, index: str, title: str):
    """Packs and starts an application of one page that shows its state in the title, and
    waits for the first."""
    exe = session.make_app(name, {"ID": "E2E" + name.title(), "Name": name.title(),
                                  "DynamicAppTitle": 1}, {"index.html": index})
    app = session.launch(exe)
    wid = app.wait_window()
    session.wait_title(wid, lambda t: t == title)
    return app, wid


def close_in_order(session: XSession, app, wid: int) -> None:
    """The runtime is still up, and an ordinary close request ends it with code 0."""
    expect(app.running(), "the runtime ended")
    session.close_window(wid)
    expect_eq(app.wait(20), 0, "exit code after the close request")


def killed_web_process(args, artifacts: Path) -> None:
    """Killing the web process reloads the page; killing it again at once shows the error
    page; a close request then closes the window, and the runtime exits with code 0."""
    index = page("<p>alive</p>", head=r"""
<script>
const loads = Number(localStorage.getItem("loads") || 0) + 1;
localStorage.setItem("loads", loads);
document.title = "loaded " + loads;
// This page refuses to close: only a page that cannot answer lets the window go.
window.addEventListener("load", () => { vlx.events.onCloseQuery = function () {}; });
</script>""")
    with XSession("killed", artifacts, args.bin_dir) as session:
        app, wid = start(session, "killed", index, "loaded 1")
        kill_web_process(app)
        session.wait_title(wid, lambda t: t == "loaded 2")
        kill_web_process(app)
        session.wait_title(wid, lambda t: t == "The page stopped")
        close_in_order(session, app, wid)


QUESTION = "Page not responding"


def question(session: XSession, app, present: bool, timeout: float = 30) -> int | None:
    """The question about the page, once it is there (or gone)."""
    def check():
        # --all: xdotool's conditions are alternatives otherwise, and the main window would do.
        out = session.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(app.pid),
                           "--name", QUESTION], timeout=20, check=False).stdout
        windows = [int(w) for w in out.split()]
        if present:
            return windows[0] if windows else None
        return None if windows else True

    found = wait_until(check, timeout, "the question " + ("to come" if present else "to go"))
    if not present:
        return None
    session.wait_settled(found)  # mapped and placed: it takes keys from now on
    return found


def unresponsive_page(args, artifacts: Path) -> None:
    """A page that computes for 12 s after a key press stops answering: the runtime asks
    whether to wait or reload and reloads nothing unasked. "Wait" keeps the page and its state;
    a question left open goes by itself when the page answers again; "Reload" brings back a page
    stuck in an endless loop, in a new process."""
    index = page("<p>busy</p>", head=r"""
<script>
const loads = Number(localStorage.getItem("loads") || 0) + 1;
localStorage.setItem("loads", loads);
let counter = 41;  // what a reload would lose
document.title = "ready " + loads;
function busy(ms) { const t = Date.now() + ms; while (Date.now() < t) {} }
window.addEventListener("keydown", (e) => {
  if (e.key === "b") busy(12000);
  else if (e.key === "s") busy(9000);
  else if (e.key === "e") for (;;) {}
  else return;
  counter += 1;
  document.title = "done " + counter + " loads " + loads;
});
</script>""")
    with XSession("unresponsive", artifacts, args.bin_dir) as session:
        app, wid = start(session, "unresponsive", index, "ready 1")
        # The key press itself goes unanswered while the page computes: after a few seconds the
        # web view says so.
        session.press(wid, "b")
        asked = question(session, app, True)
        session.screenshot(artifacts / "question.png")
        session.press(asked, "Return")  # "Wait", the default
        question(session, app, False, 5)
        session.wait_title(wid, lambda t: t == "done 42 loads 1", 30, "the page's state after it")

        session.press(wid, "s")
        question(session, app, True)
        question(session, app, False)  # it answers again, nobody answered
        session.wait_title(wid, lambda t: t == "done 43 loads 1", 10, "the page's state after it")

        session.press(wid, "e")
        asked = question(session, app, True)
        session.press(asked, "alt+r")  # "Reload"
        session.wait_title(wid, lambda t: t == "ready 2", 30, "the page loaded again")
        question(session, app, False, 5)
        close_in_order(session, app, wid)


CASES = {"huge_file": huge_file, "killed_web_process": killed_web_process,
         "unresponsive_page": unresponsive_page}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
