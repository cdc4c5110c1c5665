#!/usr/bin/env python3
"""Packaged files of every type that the engine treats specially reach the page with the type it
needs: each is fetched from a packaged page, its Content-Type header read, and the engine asked
to use it (WebAssembly streaming compile, JSON and JavaScript modules, workers, fonts, SVG and
raster images, XML documents, media)."""

from __future__ import annotations

import struct
import sys
import wave
import io
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases

# (module (func (export "answer") (result i32) i32.const 42))
WASM = bytes.fromhex("0061736d01000000" "0105016000017f" "03020100"
                     "070a0106616e737765720000" "0a06010400412a0b")
SVG = '<svg xmlns="http://www.w3.org/2000/svg" width="4" height="3"><rect width="4" height="3"/></svg>'
XML = '<?xml version="1.0"?><root><item>x</item></root>'


def wav() -> bytes:
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(struct.pack("<h", 0) * 8000)
    return out.getvalue()


INDEX = page("<p>types</p>", head=PAGE_HELPERS + r"""
<script>
async function type(url) { return (await fetch(url)).headers.get("content-type"); }
function imageSize(url) {
  return new Promise((done) => {
    const i = new Image();
    i.onload = () => done(i.naturalWidth + "x" + i.naturalHeight);
    i.onerror = () => done("error");
    i.src = url;
  });
}
async function attempt(f) { try { return await f(); } catch (e) { return "error: " + e; } }
window.addEventListener("load", async () => {
  const r = {types: {}};
  for (const name of ["answer.wasm", "data.json", "mod.mjs", "worker.js", "font.woff2", "pic.svg",
                      "doc.xml", "tone.wav", "index.html", "style.css"]) {
    r.types[name] = await attempt(() => type(name));
  }
  r.wasm = await attempt(async () =>
      (await WebAssembly.instantiateStreaming(fetch("answer.wasm"))).instance.exports.answer());
  r.jsonModule = await attempt(async () => (await import("./data.json", {with: {type: "json"}})).default.ok);
  r.module = await attempt(async () => (await import("./mod.mjs")).value);
  r.worker = await attempt(() => new Promise((done) => {
    const w = new Worker("worker.js");
    w.onmessage = (e) => done(e.data);
    w.onerror = () => done("error");
  }));
  r.svg = await imageSize("pic.svg");
  r.xml = await attempt(() => new Promise((done) => {
    const x = new XMLHttpRequest();
    x.open("GET", "doc.xml");
    x.onload = () => done(x.responseXML ? x.responseXML.documentElement.nodeName : null);
    x.send();
  }));
  r.audio = await attempt(() => new Promise((done) => {
    const a = new Audio();
    a.onloadedmetadata = () => done(Math.round(a.duration));
    a.onerror = () => done("error " + (a.error && a.error.code));
    a.src = "tone.wav";
  }));
  report(r);
});
</script>""")


def types(args, artifacts: Path) -> None:
    """Each type's header keeps its charset as the page sees it, and the engine accepts it."""
    files = {"index.html": INDEX, "answer.wasm": WASM, "data.json": '{"ok": true}',
             "mod.mjs": "export const value = 7;", "worker.js": "postMessage('up');",
             "font.woff2": b"wOF2" + bytes(60), "pic.svg": SVG, "doc.xml": XML, "tone.wav": wav(),
             "style.css": "body{}"}
    with XSession("types", artifacts, args.bin_dir) as session:
        exe = session.make_app("types", {"ID": "E2EMime", "Name": "Mime", "DynamicAppTitle": 1},
                               files)
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=40)
        expect_eq(result["types"], {
            "answer.wasm": "application/wasm",
            "data.json": "application/json; charset=utf-8",
            "mod.mjs": "text/javascript; charset=utf-8",
            "worker.js": "text/javascript; charset=utf-8",
            "font.woff2": "font/woff2; charset=utf-8",
            "pic.svg": "image/svg+xml; charset=utf-8",
            "doc.xml": "application/xml; charset=utf-8",
            "tone.wav": "audio/x-wav; charset=utf-8",
            "index.html": "text/html; charset=utf-8",
            "style.css": "text/css; charset=utf-8",
        }, "Content-Type headers")
        expect_eq(result.get("wasm"), 42, "WebAssembly.instantiateStreaming")
        expect_eq(result.get("jsonModule"), True, "a JSON module")
        expect_eq(result.get("module"), 7, "a JavaScript module")
        expect_eq(result.get("worker"), "up", "a worker")
        expect_eq(result.get("svg"), "4x3", "an SVG image")
        expect_eq(result.get("xml"), "root", "an XML document")
        expect_eq(result.get("audio"), 1, "a WAV file's duration")


CASES = {"types": types}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
