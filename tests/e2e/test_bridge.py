#!/usr/bin/env python3
"""A page drives the bridge through window.vlx and window.chrome.webview and reports back."""

from __future__ import annotations

import sys
from pathlib import Path

from harness import (PAGE_HELPERS, PENDING, RESOLVED, XSession, expect, expect_eq, page,
                     run_cases, settled)

VERSION = "2026.10"

# Messages that must stay unanswered are posted before calls that must be answered. The runtime
# handles messages in order, so once the later calls have been answered, the earlier ones get a
# further second, and must still be without a reply.
BRIDGE_PAGE = page("<p>bridge</p>" + PAGE_HELPERS + r"""
<script>
const webview = window.chrome.webview;
const reply = (uuid, result) => ({uuid, success: true, result});
async function run() {
  const r = {};
  r.hello = await settle(vlx.hello(), 5000);
  r.isRuntime = await settle(vlx.isRuntime(), 5000);
  r.stringId = await settle(raw({id: "10001", uuid: "s1", data: {}}, "s1"), 5000);
  r.dollarHexId = await settle(raw({id: "$2711", uuid: "s2", data: {}}, "s2"), 5000);
  r.numberAsTextIsRuntime = await settle(raw({id: " 10002", uuid: "s3", data: {}}, "s3"), 5000);

  const silent = {
    unknownId: raw({id: 99999, uuid: "u1", data: {}}, "u1"),
    noData: raw({id: 10001, uuid: "u2"}, "u2"),
    nullData: raw({id: 10001, uuid: "u3", data: null}, "u3"),
    arrayData: raw({id: 10001, uuid: "u4", data: []}, "u4"),
    wordId: raw({id: "abc", uuid: "u5", data: {}}, "u5"),
    fractionId: raw({id: 10001.5, uuid: "u6", data: {}}, "u6"),
    noUuid: new Promise((resolve) => {
      webview.addEventListener("message", (e) => { if (!e.data.uuid) resolve(e.data); });
      webview.postMessage({id: 10001, data: {}});
    }),
  };
  webview.postMessage("not an object");
  webview.postMessage(42);
  const later = {hello: vlx.hello(), isRuntime: vlx.isRuntime()};
  for (const [name, promise] of Object.entries(later)) r["later_" + name] = await settle(promise, 5000);
  const waits = Object.entries(silent).map(async ([name, p]) => { r[name] = await settle(p, 1000); });
  await Promise.all(waits);

  // A uuid with characters that JSON must escape comes back unchanged.
  const odd = "q\"\\/\n\u20ac\u00e9";
  const answer = await settle(raw({id: 10001, uuid: odd, data: {}}, odd), 3000);
  r.oddUuid = answer.state === "resolved" && answer.value.result === "2026.10" ? "ok" : answer;

  // Fifty calls at once, alternating two functions: each gets the answer of its own function.
  const calls = [];
  for (let i = 0; i < 50; i++) calls.push(settle(i % 2 ? vlx.isRuntime() : vlx.hello(), 5000));
  const results = await Promise.all(calls);
  const wrong = results.map((s, i) => [i, s])
      .filter(([i, s]) => s.state !== "resolved" || s.value !== (i % 2 ? true : "2026.10"));
  r.concurrent = wrong.length === 0 ? "ok" : wrong;

  // Calls from a detached member: namespace members work, hello needs its object.
  const detachedHello = vlx.hello;
  try { await detachedHello(); r.detachedHello = "resolved"; }
  catch (e) { r.detachedHello = "threw"; }
  report(r);
}
run().catch((e) => report({error: String(e)}));
</script>""")


def bridge_calls(args, artifacts: Path) -> None:
    with XSession("bridge", artifacts, args.bin_dir) as session:
        exe = session.make_app("bridge", {"ID": "E2EBridge", "Name": "Bridge",
                                          "DynamicAppTitle": 1}, {"index.html": BRIDGE_PAGE})
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=40)
        expect("error" not in result, f"the page failed: {result.get('error')}")
        expected = {
            "hello": settled(RESOLVED, VERSION),
            "isRuntime": settled(RESOLVED, True),
            "stringId": settled(RESOLVED, {"uuid": "s1", "success": True, "result": VERSION}),
            "dollarHexId": settled(RESOLVED, {"uuid": "s2", "success": True,
                                              "result": VERSION}),
            "numberAsTextIsRuntime": settled(RESOLVED, {"uuid": "s3", "success": True,
                                                        "result": True}),
            "later_hello": settled(RESOLVED, VERSION),
            "later_isRuntime": settled(RESOLVED, True),
            "unknownId": settled(PENDING),
            "noData": settled(PENDING),
            "nullData": settled(PENDING),
            "arrayData": settled(PENDING),
            "wordId": settled(PENDING),
            "fractionId": settled(PENDING),
            "noUuid": settled(PENDING),
            "oddUuid": "ok",
            "concurrent": "ok",
            "detachedHello": "threw",
        }
        mismatches = {key: (result.get(key), value) for key, value in expected.items()
                      if result.get(key) != value}
        expect(not mismatches, "got (actual, expected): " + "; ".join(
            f"{key}: {actual!r} != {wanted!r}" for key, (actual, wanted) in mismatches.items()))
        # Malformed messages end without a reply, never the program.
        expect(app.running(), "the runtime ended")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code")


CASES = {"bridge_calls": bridge_calls}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
