#!/usr/bin/env python3
"""Package files reach the page as a web server's would: style sheets, scripts, modules,
images and fetched data from the package, then files beside the executable and absolute
paths, with their types; the caption is Name unless DynamicAppTitle is on."""

from __future__ import annotations

import hashlib
import struct
import sys
import time
import zlib
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases


def png(width: int, height: int, rgb: tuple[int, int, int]) -> bytes:
    """A PNG of one colour."""
    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    row = b"\x00" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


# Two megabytes that do not compress well, to see that large entries arrive intact.
BLOB = b"".join(hashlib.sha256(str(i).encode()).digest() for i in range(65536))

INDEX = page("""
<div id="styled">styled</div>
<img id="image" src="img/dot.png">""", title="resources", head="""
<link rel="stylesheet" href="css/site.css">
<script src="js/classic.js"></script>
<script type="module" src="js/module.mjs"></script>""" + PAGE_HELPERS + r"""
<script>
async function get(url) {
  try {
    const response = await fetch(url);
    if (!response.ok) return {status: response.status};
    return {type: response.headers.get("content-type"), text: await response.text()};
  } catch (e) {
    return {error: String(e.name)};
  }
}
async function sha256(url) {
  const bytes = await (await fetch(url)).arrayBuffer();
  const digest = await crypto.subtle.digest("SHA-256", bytes);
  return [bytes.byteLength,
          Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, "0")).join("")];
}
window.addEventListener("load", async () => {
  const r = {};
  r.location = location.href;
  r.stylesheet = getComputedStyle(document.getElementById("styled")).color;
  r.classic = window.classicLoaded || false;
  for (let i = 0; i < 50 && !window.moduleLoaded; i++) await new Promise((f) => setTimeout(f, 50));
  r.module = window.moduleLoaded || false;
  const image = document.getElementById("image");
  r.image = [image.naturalWidth, image.naturalHeight];
  r.json = await get("data/info.json");
  r.upperCase = await get("DATA/INFO.JSON");
  r.space = await get("my%20notes.txt?x=1");
  r.script = await get("js/classic.js");
  r.missing = await get("missing.txt");
  r.beside = await get("beside/readme.txt");
  r.absolute = await get("file://" + ABSOLUTE);
  try { r.blob = await sha256("blob.bin"); } catch (e) { r.blob = String(e); }
  report(r);
});
</script>""")


def resources(args, artifacts: Path) -> None:
    with XSession("resources", artifacts, args.bin_dir) as session:
        absolute = artifacts / "outside" / "absolute.txt"
        absolute.parent.mkdir()
        absolute.write_text("from an absolute path")
        files = {
            "index.html": INDEX.replace("ABSOLUTE", f'"{absolute}"'),
            "css/site.css": "#styled { color: rgb(1, 2, 3); }\n",
            "js/classic.js": "window.classicLoaded = true;\n",
            "js/module.mjs": "import {value} from './value.mjs';\nwindow.moduleLoaded = value;\n",
            "js/value.mjs": "export const value = 'module';\n",
            "img/dot.png": png(3, 2, (200, 40, 10)),
            "data/info.json": '{"answer": 42}',
            "my notes.txt": "notes",
            "blob.bin": BLOB,
        }
        exe = session.make_app("resources", {"ID": "E2EResources", "Name": "Resources",
                                             "DynamicAppTitle": 1}, files)
        beside = exe.parent / "beside" / "readme.txt"
        beside.parent.mkdir()
        beside.write_text("beside the executable")
        app = session.launch(exe)
        wid = app.wait_window()
        r = session.wait_result(app, wid, timeout=40)
        expected = {
            "location": "vlx:///index.html",
            "stylesheet": "rgb(1, 2, 3)",
            "classic": True,
            "module": "module",
            "image": [3, 2],
            "json": {"type": "application/json; charset=utf-8", "text": '{"answer": 42}'},
            "upperCase": {"type": "application/json; charset=utf-8", "text": '{"answer": 42}'},
            "space": {"type": "text/plain; charset=utf-8", "text": "notes"},
            "script": {"type": "text/javascript; charset=utf-8",
                       "text": "window.classicLoaded = true;\n"},
            "beside": {"type": "text/plain; charset=utf-8", "text": "beside the executable"},
            "absolute": {"type": "text/plain; charset=utf-8", "text": "from an absolute path"},
            "blob": [len(BLOB), hashlib.sha256(BLOB).hexdigest()],
            # As from a web server, and as on Windows: a status, not a network error.
            "missing": {"status": 404},
        }
        wrong = [f"{key}: {r.get(key)!r}, expected {value!r}" for key, value in expected.items()
                 if r.get(key) != value]
        expect(not wrong, "\n  ".join(["resources differ:"] + wrong))


def caption(args, artifacts: Path) -> None:
    """With DynamicAppTitle off the caption stays Name whatever the page's title; with it on,
    the caption follows every title change."""
    # The page changes its title once loaded and, a second later, closes the app: its exit
    # shows that the change has happened, and the caption is watched until then.
    script = """<script>
window.addEventListener("load", () => {
  document.title = "changed";
  setTimeout(() => vlx.app.close(), 1000);
});
</script>"""
    for dynamic, expected in ((0, "App Name"), (1, "changed")):
        with XSession("caption", artifacts / str(dynamic), args.bin_dir) as session:
            exe = session.make_app("caption", {"ID": "E2ECaption", "Name": "App Name",
                                               "DynamicAppTitle": dynamic},
                                   {"index.html": page("<p>x</p>" + script, title="page title")})
            app = session.launch(exe)
            wid = app.wait_window()
            captions = []
            while app.running():
                captions.append(session.title(wid))
                time.sleep(0.05)
            expect_eq(app.wait(5), 0, "exit code")
            seen = [c for c in dict.fromkeys(captions) if c]  # distinct, in order
            if dynamic:
                expect(seen[-1:] == [expected], f"captions seen: {seen}")
            else:
                expect_eq(seen, [expected], "captions seen with DynamicAppTitle=0")


CASES = {"resources": resources, "caption": caption}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
