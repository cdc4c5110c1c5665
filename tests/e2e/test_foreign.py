#!/usr/bin/env python3
"""Only the application's own documents reach the bridge: frames and pages from anywhere else
(srcdoc, data:, about:blank, a web server) see window.vlx but never get a reply."""

from __future__ import annotations

import contextlib
import functools
import http.server
import json
import sys
import threading
from pathlib import Path
from urllib.parse import quote

from harness import (PAGE_HELPERS, PENDING, RESOLVED, XSession, expect, expect_eq, page,
                     run_cases, settled)

VERSION = "2026.10"

# What a foreign document does: call the bridge both ways and tell what happened.
PROBE = r"""
<script>
async function probe() {
  const r = {vlx: typeof window.vlx === "object",
             webview: !!(window.chrome && window.chrome.webview)};
  const calls = [];
  if (r.vlx) calls.push(settle(vlx.hello(), 3000).then((s) => { r.hello = s; }));
  if (r.webview) {
    calls.push(settle(raw({id: 10002, uuid: "foreign", data: {}}, "foreign"), 3000)
        .then((s) => { r.raw = s; }));
  }
  await Promise.all(calls);
  return r;
}
</script>
"""


def probe_page(report_js: str) -> str:
    return page("<p>foreign</p>", head=PAGE_HELPERS + PROBE +
                f"<script>probe().then((r) => {{ {report_js} }});</script>")


# A frame tells its parent; a top-level page puts its result in the title.
FRAME_PAGE = probe_page("parent.postMessage({frame: location.protocol, r}, '*');")
TOP_PAGE = probe_page("report(r);")
# The same probe, expected to be answered, in the application's own page.
OWN_PAGE = TOP_PAGE


@contextlib.contextmanager
def web_server(folder: Path):
    """A web server on the loopback address serving folder."""
    handler = functools.partial(QuietHandler, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}"
    finally:
        server.shutdown()
        server.server_close()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args) -> None:
        pass


def expect_unanswered(result: dict, where: str) -> None:
    expect(result.get("vlx") is True and result.get("webview") is True,
           f"{where}: the page should see window.vlx and window.chrome.webview: {result}")
    expect_eq(result.get("hello"), settled(PENDING), f"{where}: vlx.hello()")
    expect_eq(result.get("raw"), settled(PENDING), f"{where}: a message posted directly")


def frames(args, artifacts: Path) -> None:
    """An application page embeds foreign frames; its own call is answered, theirs are not."""
    web = artifacts / "web"
    web.mkdir()
    (web / "frame.html").write_text(FRAME_PAGE, encoding="utf-8")
    with web_server(web) as origin, XSession("frames", artifacts, args.bin_dir) as session:
        top = page("<p>frames</p>", head=PAGE_HELPERS + r"""
<script>
const frameHtml = %s;
const reports = {};
window.addEventListener("message", (e) => {
  if (e.data && e.data.frame) reports[e.data.frame] = e.data.r;
});
function addFrame(setup) {
  const frame = document.createElement("iframe");
  setup(frame);
  document.body.appendChild(frame);
  return frame;
}
async function run() {
  addFrame((f) => { f.srcdoc = frameHtml.replace("location.protocol", "'srcdoc'"); });
  addFrame((f) => { f.src = "data:text/html;charset=utf-8," + encodeURIComponent(frameHtml); });
  addFrame((f) => { f.src = "%s/frame.html"; });
  // An empty frame that the page itself scripts: its window.vlx posts as about:blank.
  const blank = addFrame((f) => { f.src = "about:blank"; });
  const own = settle(vlx.hello(), 5000);
  const blankHello = settle(blank.contentWindow.vlx.hello(), 3000);
  reports.own = await own;
  reports.blank = await blankHello;
  const deadline = Date.now() + 10000;
  while (Object.keys(reports).length < 5 && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 100));
  }
  report(reports);
}
window.addEventListener("load", () => run().catch((e) => report({error: String(e)})));
</script>""" % (json.dumps(FRAME_PAGE).replace("</", "<\\/"), origin))
        exe = session.make_app("frames", {"ID": "E2EFrames", "Name": "Frames",
                                          "DynamicAppTitle": 1}, {"index.html": top})
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=40)
        expect_eq(result.get("own"), settled(RESOLVED, VERSION), "the application page's call")
        expect_eq(result.get("blank"), settled(PENDING), "the about:blank frame's call")
        for frame in ("srcdoc", "data:", "http:"):
            expect(frame in result, f"no report from the {frame} frame: {result}")
            expect_unanswered(result[frame], f"{frame} frame")
        expect(app.running(), "the runtime ended")


def top_level(args, artifacts: Path) -> None:
    """Started on a foreign start page (the two-argument command line), the page gets no
    reply; started on the application's own page, the same probe is answered."""
    web = artifacts / "web"
    web.mkdir()
    (web / "top.html").write_text(TOP_PAGE, encoding="utf-8")
    with web_server(web) as origin, XSession("top", artifacts, args.bin_dir) as session:
        exe = session.make_app("top", {"ID": "E2ETop", "Name": "Top", "DynamicAppTitle": 1,
                                       "AllowInstances": 1}, {"index.html": OWN_PAGE})
        table = [
            ("own page", "file:///index.html", True),
            ("data: page", "data:text/html;charset=utf-8," + quote(TOP_PAGE, safe=""), False),
            ("web page", f"{origin}/top.html", False),
        ]
        for name, url, answered in table:
            app = session.launch(exe, "E2ETop", url)
            wid = app.wait_window()
            result = session.wait_result(app, wid, timeout=30)
            if answered:
                expect_eq(result.get("hello"), settled(RESOLVED, VERSION), f"{name}: hello")
                expect_eq(result.get("raw"), settled(RESOLVED, {"uuid": "foreign",
                                                                "success": True,
                                                                "result": True}),
                          f"{name}: a message posted directly")
            else:
                expect_unanswered(result, name)
            app.kill()


CASES = {"frames": frames, "top_level": top_level}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
