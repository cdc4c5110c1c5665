#!/usr/bin/env python3
"""Cross-origin reads of application documents, which the runtime makes again for the page
(--disable-web-security, on in the default arguments), against two loopback servers on two
addresses (cookies keep to a host, not to a port): each request of a redirect chain carries the
cookies of its own server and no other's, the page's credentials mode decides whether cookies
go and are kept, a read the page aborts ends the server's connection at once, and a body that
never ends fails its read at the bound."""

from __future__ import annotations

import contextlib
import http.server
import json
import sys
import threading
import time
from pathlib import Path
from urllib.parse import parse_qs, urlsplit

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases, wait_until


class Server(http.server.ThreadingHTTPServer):
    """A loopback server that notes the Cookie header of every request by path and query, and
    how the endless answers it gave ended."""

    daemon_threads = True

    def __init__(self, host: str):
        super().__init__((host, 0), Handler)
        self.cookies: dict[str, str] = {}
        self.authorization: dict[str, str] = {}
        self.endless_ended: list[str] = []
        self.endless_sent: list[int] = []  # bytes of body written before the end
        self.marked: list[str] = []  # requests that arrived with the runtime's own header
        self.lock = threading.Lock()

    @property
    def origin(self) -> str:
        return f"http://{self.server_address[0]}:{self.server_address[1]}"


class Handler(http.server.BaseHTTPRequestHandler):
    """/set?NAME=VALUE sets a cookie; /echo answers with the Cookie header it got;
    /redirect?to=URL answers 302 to URL; /endless answers with a body that never ends;
    /small answers "small"."""

    protocol_version = "HTTP/1.1"  # kept-alive connections, as a web server's
    server: Server

    def do_GET(self) -> None:  # noqa: N802 - the base class's name
        url = urlsplit(self.path)
        query = parse_qs(url.query)
        with self.server.lock:
            self.server.cookies[self.path] = self.headers.get("Cookie", "")
            self.server.authorization[self.path] = self.headers.get("Authorization", "")
            if "Velloc-Credentials" in self.headers:
                self.server.marked.append(self.path)
        if url.path == "/endless":
            self.endless()
            return
        headers = {"Content-Type": "text/plain"}
        body = b""
        status = 200
        if url.path == "/set":
            for name, values in query.items():
                headers["Set-Cookie"] = f"{name}={values[0]}; Path=/"
            body = b"set"
        elif url.path == "/echo":
            body = self.headers.get("Cookie", "").encode()
        elif url.path == "/redirect":
            status = 302
            headers["Location"] = query["to"][0]
        elif url.path == "/huge":
            # Declares more than a forwarded read carries, and sends nothing of it.
            self.send_response(200)
            self.send_header("Content-Length", str(300 << 20))
            self.end_headers()
            self.wfile.flush()
            time.sleep(5)
            return
        elif url.path == "/small":
            body = b"small"
        else:
            status = 404
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def endless(self) -> None:
        if "late" in self.path:
            time.sleep(2)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        chunk = b"%x\r\n%s\r\n" % (65536, b"x" * 65536)
        # Ends when the client goes, or after a minute (a test that failed must not leave a
        # thread writing for ever).
        deadline = time.monotonic() + 60
        how = "timed out"
        sent = 0
        try:
            while time.monotonic() < deadline:
                self.wfile.write(chunk)
                sent += 65536
        except OSError:
            how = "closed"
        with self.server.lock:
            self.server.endless_ended.append(how)
            self.server.endless_sent.append(sent)
        self.close_connection = True

    def log_message(self, *args) -> None:
        pass


@contextlib.contextmanager
def servers(*hosts: str):
    running = [Server(host) for host in hosts]
    for server in running:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield running
    finally:
        for server in running:
            server.shutdown()
            server.server_close()


def run_page(args, artifacts: Path, name: str, script: str, values: dict, timeout: float = 60):
    """Packs an app whose page runs `script` (an async function body that returns the result)
    and returns what it reports."""
    index = page("<p>forwarding</p>", head=PAGE_HELPERS + "<script>\nconst V = " +
                 json.dumps(values) + ";\nwindow.addEventListener('load', async () => {\n"
                 "  try { report(await (async () => {" + script + "})()); }\n"
                 "  catch (e) { report({error: String(e)}); }\n});\n</script>")
    with XSession(name, artifacts, args.bin_dir) as session:
        exe = session.make_app(name, {"ID": f"E2EFwd{name.title()}", "Name": name,
                                      "DynamicAppTitle": 1}, {"index.html": index})
        app = session.launch(exe)
        wid = app.wait_window()
        return session.wait_result(app, wid, timeout=timeout)


COOKIES = r"""
const A = V.a, B = V.b;
async function text(url, init) {
  try { const r = await fetch(url, init); return await r.text(); }
  catch (e) { return "failed: " + e; }
}
function xhr(url, withCredentials) {
  return new Promise((done) => {
    const x = new XMLHttpRequest();
    x.open("GET", url);
    x.withCredentials = withCredentials;
    x.onload = () => done(x.responseText);
    x.onerror = () => done("failed");
    x.send();
  });
}
const r = {};
// Each server keeps a cookie of its own, set through credentialed reads.
r.setA = await text(A + "/set?a=from-a", {credentials: "include"});
r.setB = await text(B + "/set?b=from-b", {credentials: "include"});
// A read of A that A sends on to B: B sees its own cookie, never A's.
r.redirect = await text(A + "/redirect?to=" + encodeURIComponent(B + "/echo?hop"),
                        {credentials: "include"});
r.include = await text(A + "/echo?include", {credentials: "include"});
// The page's Authorization is for the server it names, and its redirects within that origin.
for (const [name, to] of [["auth-away", B + "/echo?auth-away"], ["auth-home", A + "/echo?auth"]]) {
  await text(A + "/redirect?" + name + "&to=" + encodeURIComponent(to),
             {headers: {"Authorization": "Bearer t"}});
}
r.omit = await text(A + "/echo?omit", {credentials: "omit"});
r.sameOrigin = await text(A + "/echo?same-origin");
// A cookie set to a read without credentials is not kept.
await text(A + "/set?kept=no", {credentials: "omit"});
await text(A + "/set?kept2=no");
r.afterUncredentialedSets = await text(A + "/echo?after", {credentials: "include"});
r.xhrWithCredentials = await xhr(A + "/echo?xhr-include", true);
r.xhrWithout = await xhr(A + "/echo?xhr-plain", false);
const request = new Request(A + "/echo?request-object", {credentials: "include"});
r.requestObject = await text(request);
// A header of the page's own: the engine asks first (a preflight), then reads.
r.preflighted = await text(A + "/echo?preflighted",
                           {credentials: "include", headers: {"X-Page": "1"}});
return r;
"""


def cookies_per_request(args, artifacts: Path) -> None:
    """Cookies follow the page's credentials mode and each request's own server: a redirect
    from A to B reaches B with B's cookie only; `omit` and the default send none and keep none;
    `include` and XHR's withCredentials send the server's own. The page's Authorization does
    not follow a redirect to another origin."""
    with servers("127.0.0.1", "127.0.0.2") as (a, b):
        result = run_page(args, artifacts, "cookies", COOKIES, {"a": a.origin, "b": b.origin})
        expect_eq(result.get("setA"), "set", f"the first read of A: {result}")
        expect_eq(b.cookies.get("/echo?hop"), "b=from-b", "the cookies B got at the redirect's end")
        expect_eq(result["redirect"], "b=from-b", "what B answered at the redirect's end")
        at_start = [v for k, v in a.cookies.items() if k.startswith("/redirect?to=")]
        expect_eq(at_start, ["a=from-a"], "the cookies A got at the redirect's start")
        expect_eq(result["include"], "a=from-a", "credentials: include")
        expect_eq([v for k, v in a.authorization.items() if k.startswith("/redirect?auth")],
                  ["Bearer t", "Bearer t"], "Authorization at the redirects' start")
        expect_eq((b.authorization.get("/echo?auth-away"), a.authorization.get("/echo?auth")),
                  ("", "Bearer t"), "Authorization after a redirect to another origin and home")
        expect_eq(result["omit"], "", "credentials: omit")
        expect_eq(result["sameOrigin"], "", "the default credentials (same-origin)")
        expect_eq(result["afterUncredentialedSets"], "a=from-a",
                  "cookies after reads without credentials set others")
        expect_eq(result["xhrWithCredentials"], "a=from-a", "XHR with credentials")
        expect_eq(result["xhrWithout"], "", "XHR without credentials")
        expect_eq(result["requestObject"], "a=from-a", "fetch of a Request with credentials")
        expect_eq(result["preflighted"], "a=from-a", "a credentialed read with a preflight")
        expect_eq(a.marked + b.marked, [], "requests that reached a server with the runtime's "
                  "own header")


ABORTS = r"""
const A = V.a;
// Six at once, as a page that streams several things from one server: three the server has not
// answered yet, three halfway through their bodies; all aborted.
const control = new AbortController();
const reads = [];
for (let i = 0; i < 6; i++) {
  reads.push(fetch(A + "/endless?" + (i < 3 ? "late" : "now") + i, {signal: control.signal})
               .then((r) => r.body.getReader().read()).catch(() => {}));
}
await settle(Promise.all(reads.slice(3)), 5000);
control.abort();
await Promise.all(reads);
const started = performance.now();
const small = await settle(fetch(A + "/small").then((r) => r.text()), 20000);
return {small, ms: Math.round(performance.now() - started)};
"""


def aborted_reads_free_the_server(args, artifacts: Path) -> None:
    """Six reads of a body that never ends, aborted by the page before the server answers or
    after a part of the body, end their connections to the server; a small read of the same
    server then answers at once (the reads kept going before, each holding a connection, and
    the small read waited for ever)."""
    with servers("127.0.0.1") as (a,):
        result = run_page(args, artifacts, "aborts", ABORTS, {"a": a.origin})
        expect_eq(result.get("small"), {"state": "resolved", "value": "small"},
                  f"the small read after the aborted ones ({result.get('ms')} ms)")
        wait_until(lambda: len(a.endless_ended) == 6 or None, 10,
                   f"the server's six endless answers to end (ended: {a.endless_ended})")
        expect_eq(a.endless_ended, ["closed"] * 6, "how the endless answers ended")


BOUNDED = r"""
const A = V.a;
const r = {};
let bytes = 0;
const started = performance.now();
try {
  const reader = (await fetch(A + "/endless?read")).body.getReader();
  for (;;) {
    const part = await reader.read();
    if (part.done) break;
    bytes += part.value.length;
  }
  r.endless = "ended";
} catch (e) {
  r.endless = "failed";
}
r.bytes = bytes;
r.seconds = Math.round((performance.now() - started) / 100) / 10;
r.declared = await fetch(A + "/huge").then((x) => "answered " + x.status, () => "failed");
r.small = await fetch(A + "/small").then((x) => x.text());
return r;
"""


def endless_body_bounded(args, artifacts: Path) -> None:
    """A body that never ends fails its read once the page has had the bound of a forwarded
    body, 256 MiB, and its connection ends; one that declares more fails at once; the server
    answers the next read."""
    with servers("127.0.0.1") as (a,):
        result = run_page(args, artifacts, "bounded", BOUNDED, {"a": a.origin}, timeout=90)
        expect_eq(result.get("endless"), "failed", f"the endless read: {result}")
        bound = 256 << 20
        # The page's stream drops what it had not read yet when the read fails.
        expect(0 < result["bytes"] <= bound,
               f"bytes the page got of the endless body: {result['bytes']}")
        expect_eq(result["declared"], "failed", "a read that declares more than the bound")
        expect_eq(result["small"], "small", "the next read of the server")
        wait_until(lambda: a.endless_ended or None, 10, "the endless answer to end")
        expect_eq(a.endless_ended, ["closed"], "how the endless answer ended")
        # What the server wrote: the bound, and what the sockets' buffers held when it ended.
        sent = a.endless_sent[0]
        expect(bound <= sent <= bound + (32 << 20), f"bytes the server wrote: {sent}")


CASES = {"cookies_per_request": cookies_per_request,
         "aborted_reads_free_the_server": aborted_reads_free_the_server,
         "endless_body_bounded": endless_body_bounded}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
