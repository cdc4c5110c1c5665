#!/usr/bin/env python3
"""The shared bridge cases (tests/shared/bridge_cases.json) in a real WebKit page: one case of
this script per group of the table. The page posts each message through window.chrome.webview,
as the window.vlx script does, and fetches each URI; what came back goes to a file beside the
executable, which the table's expectations are checked against. The Windows whole-program test
plays the same table (tests/windows/e2e/test_whole_program.py)."""

from __future__ import annotations

import json
import os
import sys
from pathlib import Path

from harness import (PAGE_HELPERS, E2EError, XSession, expect, expect_eq, page, run_cases,
                     wait_until, write_app)

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "shared"))

import bridge_cases  # noqa: E402

RESULTS = "shared-results.json"

# Runs the steps in order and writes {replies, fetched, stray} beside the executable. A reply is
# found by its uuid; a message that is not an object, or has no uuid, can only be shown to
# stay unanswered by no stray reply arriving at all.
RUNNER = PAGE_HELPERS + r"""
<script>
const STEPS = %STEPS%;
const webview = window.chrome.webview;
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
const known = new Set(STEPS.filter((s) => s.uuid).map((s) => s.uuid));
const stray = [];
webview.addEventListener("message", (e) => {
  if (!e.data || !known.has(e.data.uuid)) stray.push(e.data);
});
async function run() {
  const replies = {}, fetched = {};
  for (const step of STEPS) {
    if (step.delayMs) await sleep(step.delayMs);
    if (step.fetch !== undefined) {
      try {
        const response = await fetch(step.fetch, {cache: "no-store"});
        fetched[step.index] = response.ok
            ? {mimeType: response.headers.get("content-type") || "", body: await response.text()}
            : null;
      } catch (e) {
        fetched[step.index] = null;
      }
    } else if (step.uuid) {
      const got = await settle(raw(step.send, step.uuid), step.waitMs);
      if (got.state === "resolved") replies[step.uuid] = got.value;
    } else {
      webview.postMessage(step.send);
      await sleep(step.waitMs);
    }
  }
  await sleep(300);
  const saved = await vlx.files.writeTextFile({filePath: "%RESULTS%",
      contents: JSON.stringify({replies, fetched, stray})});
  document.getElementById("state").textContent = "done " + saved;
}
run().catch((e) => vlx.files.writeTextFile({filePath: "%RESULTS%",
                                           contents: JSON.stringify({error: String(e)})}));
</script>"""


def read_results(app, path: Path) -> dict | None:
    """The page's results once written whole (writeTextFile puts a byte-order mark first)."""
    if not app.running():
        raise E2EError(f"{app.name} exited with code {app.proc.returncode}; output:\n"
                       f"{app.output()}")
    try:
        return json.loads(path.read_text(encoding="utf-8-sig"))
    except (OSError, ValueError):
        return None


def play(group_name: str, args, artifacts: Path) -> None:
    group = next(g for g in bridge_cases.load("linux") if g.name == group_name)
    with XSession(group.name, artifacts, args.bin_dir) as session:
        run_dir = artifacts / "run"
        run_dir.mkdir()
        exe = run_dir / "app.bin"
        context = bridge_cases.context_for("linux", str(exe), group.ini["Name"])
        group = next(g for g in bridge_cases.load("linux", context) if g.name == group.name)
        steps = []
        for index, case in enumerate(group.cases):
            step = {"index": index, "delayMs": case.delay_ms}
            if case.kind == "fetch":
                step["fetch"] = case.uri
            else:
                step.update(send=case.send, uuid=case.uuid, waitMs=case.wait_ms)
            steps.append(step)
        script = RUNNER.replace("%STEPS%", json.dumps(steps)).replace("%RESULTS%", RESULTS)
        files = {"index.html": page("<p id='state'>running</p>" + script, title=group.name)}
        files.update(group.package)
        write_app(artifacts / "source", group.ini, files)
        session.pack(artifacts / "source", exe)
        for relative, text in group.files.items():
            path = run_dir / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
        for relative in group.read_only:
            (run_dir / relative).chmod(0o444)
        try:
            app = session.launch(exe)
            wid = app.wait_window()
            result = wait_until(lambda: read_results(app, run_dir / RESULTS), 90,
                                "the page's results")
        finally:
            for relative in group.read_only:
                (run_dir / relative).chmod(0o644)
        expect("error" not in result, f"the page failed: {result.get('error')}")
        outcomes = []
        for index, case in enumerate(group.cases):
            if case.kind == "fetch":
                outcomes.append((case, bridge_cases.check_response(
                    case, result["fetched"].get(str(index)))))
            else:
                reply = result["replies"].get(case.uuid) if case.uuid else None
                outcomes.append((case, bridge_cases.check_reply(case, reply)))
        problems = bridge_cases.report(group, outcomes)
        if result["stray"]:
            problems.append(f"replies nobody asked for: {result['stray']}")
        # The results file itself is written as text with a byte-order mark.
        problems += bridge_cases.check_files(group, run_dir)
        expect(not problems, "\n  ".join([""] + problems))
        expect(app.running(), "the runtime ended")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code")


def case_for(name: str):
    return lambda args, artifacts: play(name, args, artifacts)


# A group whose cases are all another platform's is no case here.
CASES = {group.name: case_for(group.name) for group in bridge_cases.load("linux") if group.cases}

if __name__ == "__main__":
    os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
    sys.exit(run_cases(CASES, __doc__))
