#!/usr/bin/env python3
"""The close protocol: a close request runs vlx.events.onCloseQuery in the page, and the window
closes only through vlx.app.close()."""

from __future__ import annotations

import functools
import sys
import time
from pathlib import Path

from harness import XSession, expect, expect_eq, page, run_cases
from test_security import web_server


def default_close(how: str, args, artifacts: Path) -> None:
    """With the default onCloseQuery, a close request closes the window and the process exits
    with 0: from the window manager (as the title bar's close button) or by Alt+F4."""
    with XSession(how, artifacts, args.bin_dir) as session:
        exe = session.make_app("plain", {"ID": "E2EClose", "Name": "Close me",
                                         "DynamicAppTitle": 1},
                               {"index.html": page("<p>close me</p>", title="ready")})
        app = session.launch(exe)
        wid = app.wait_window()
        session.wait_title(wid, lambda t: t == "ready")
        session.close_window(wid, how)
        expect_eq(app.wait(15), 0, f"exit code after a close request ({how})")


REFUSING_PAGE = page("<p>refuses to close once</p>", title="queries:0", head="""
<script>
let queries = 0;
vlx.events.onCloseQuery = function () {
  queries += 1;
  document.title = "queries:" + queries;
  if (queries >= 2) vlx.app.close();
};
</script>""")


def refused_close(args, artifacts: Path) -> None:
    """A page whose onCloseQuery does not call vlx.app.close() keeps the window open; the next
    query closes it through vlx.app.close()."""
    with XSession("refuse", artifacts, args.bin_dir) as session:
        exe = session.make_app("refuse", {"ID": "E2ERefuse", "Name": "Refuse",
                                          "DynamicAppTitle": 1}, {"index.html": REFUSING_PAGE})
        app = session.launch(exe)
        wid = app.wait_window()
        session.wait_title(wid, lambda t: t == "queries:0")
        session.close_window(wid)
        session.wait_title(wid, lambda t: t == "queries:1", what="the first close query")
        time.sleep(1.5)
        expect(app.running(), f"the process ended (code {app.proc.returncode})")
        expect_eq(app.windows(), [wid], "windows after a refused close")
        session.close_window(wid, "keys")
        expect_eq(app.wait(15), 0, "exit code after the page closed the window")


def page_closes(args, artifacts: Path) -> None:
    """vlx.app.close() from the page closes the window without any close request."""
    with XSession("page", artifacts, args.bin_dir) as session:
        exe = session.make_app("page", {"ID": "E2EPageClose", "Name": "Page closes"}, {
            "index.html": page("<p>bye</p>",
                               head="<script>setTimeout(() => vlx.app.close(), 500);</script>")})
        app = session.launch(exe)
        app.wait_window()
        expect_eq(app.wait(15), 0, "exit code after vlx.app.close()")


def remote_page_closes(args, artifacts: Path) -> None:
    """While the window shows a remote page the application navigated to, the user's close
    closes it: the page has no bridge to answer the close question with."""
    web = artifacts / "web"
    web.mkdir()
    (web / "remote.html").write_text(page("<p>remote</p>", title="remote"), encoding="utf-8")
    with web_server(web) as origin, XSession("remote", artifacts, args.bin_dir) as session:
        exe = session.make_app("remote", {"ID": "E2ERemoteClose", "Name": "Remote",
                                          "DynamicAppTitle": 1},
                               {"index.html": page("<p>app</p>", title="app", head=(
                                   "<script>setTimeout(() => { location.href = %r; }, 300);"
                                   "</script>" % f"{origin}/remote.html"))})
        app = session.launch(exe)
        wid = app.wait_window()
        session.wait_title(wid, lambda t: t == "remote", what="the remote page")
        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code after the user closed the remote page's window")


CASES = {"default_close_wm": functools.partial(default_close, "wm"),
         "default_close_keys": functools.partial(default_close, "keys"),
         "refused_close": refused_close,
         "page_closes": page_closes,
         "remote_page_closes": remote_page_closes}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
