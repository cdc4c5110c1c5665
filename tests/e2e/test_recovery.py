#!/usr/bin/env python3
"""The runtime survives what a page or the machine does to it: a request for a huge local file
is streamed instead of read into memory, and a killed web process brings the page back once,
then shows an error page, and the window still closes on an ordinary close request."""

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
        exe = session.make_app("killed", {"ID": "E2EKilled", "Name": "Killed",
                                          "DynamicAppTitle": 1}, {"index.html": index})
        app = session.launch(exe)
        wid = app.wait_window()
        session.wait_title(wid, lambda t: t == "loaded 1")
        kill_web_process(app)
        session.wait_title(wid, lambda t: t == "loaded 2")
        kill_web_process(app)
        session.wait_title(wid, lambda t: t == "The page stopped")
        expect(app.running(), "the runtime ended")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code after the close request")


CASES = {"huge_file": huge_file, "killed_web_process": killed_web_process}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
