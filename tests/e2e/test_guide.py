#!/usr/bin/env python3
"""The examples of docs/Guide.md run as written in the application that `velloc init` makes: each
fenced block marked `js guide-example` is a module of its own beside the template's module
main.js, passes the template's type check (`tsc -p jsconfig.json`) and, in the packed page,
must complete without throwing; blocks marked `no-run` (they would log off, reboot, open
dialogs, start programs or close the window) are only checked. Every function of window.vlx has
an example, and every event is described."""

from __future__ import annotations

import json
import re
import shutil
import sys
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases

FENCE = re.compile(r"^```js guide-example(?P<flags>[^\n]*)\n(?P<code>.*?)^```", re.M | re.S)


def guide_examples(guide: Path) -> list[tuple[int, bool, str]]:
    """(line, runs, code) of every marked example."""
    text = guide.read_text(encoding="utf-8")
    examples = []
    for match in FENCE.finditer(text):
        line = text.count("\n", 0, match.start()) + 1
        examples.append((line, "no-run" not in match.group("flags").split(), match.group("code")))
    return examples


# Each example is a module of its own, imported one after another, each with a time limit; one
# that does not load (a syntax error) fails its import.
RUNNER = r"""
<script type="module">
const expected = %s;
const failures = [];
for (const line of expected) {
  const outcome = await settle(import(`./examples/line${line}.js`), 20000);
  if (outcome.state !== "resolved") {
    const value = outcome.value;
    failures.push({line, state: outcome.state,
                   error: String(value && value.message ? value.message : value)});
  }
}
report({failures});
</script>
"""


def bridge_functions(script: Path) -> tuple[list[str], list[str]]:
    """The functions of window.vlx ("vlx.files.fileExists") and the events, from its script."""
    functions, events = [], []
    family = None
    for line in script.read_text(encoding="utf-8").splitlines():
        if m := re.match(r"^    (\w+): \{", line):
            family = m.group(1)
        elif m := re.match(r"^    (\w+): function", line):
            if m.group(1) != "call":
                functions.append(f"vlx.{m.group(1)}")
        elif family and (m := re.match(r"^      (\w+): function", line)):
            (events if family == "events" else functions).append(
                m.group(1) if family == "events" else f"vlx.{family}.{m.group(1)}")
    return functions, events


def examples(args, artifacts: Path) -> None:
    guide = args.source_dir / "docs/Guide.md"
    found = guide_examples(guide)
    expect(bool(found), "docs/Guide.md has no ```js guide-example blocks")
    # Every function has an example and every event is described, so a new one cannot be left
    # out of the guide.
    functions, events = bridge_functions(args.source_dir / "src/bridge/js/vlx_shared.js")
    expect(bool(functions) and bool(events), "no functions found in vlx_shared.js")
    code = "\n".join(example for _, _, example in found)
    missing = [f for f in functions if f + "(" not in code]
    missing += [e for e in events if e not in guide.read_text(encoding="utf-8")]
    expect_eq(missing, [], "bridge functions without an example, or events not in the guide")
    with XSession("guide", artifacts, args.bin_dir) as session:
        folder = artifacts / "guide"
        shutil.rmtree(folder, ignore_errors=True)
        session.run([str(args.bin_dir / "velloc"), "init", str(folder), "--name", "Guide"])
        with open(folder / "vlx.ini", "a", encoding="utf-8") as ini:
            ini.write("DynamicAppTitle=1\n")
        examples_folder = folder / "app/examples"
        examples_folder.mkdir()
        for line, _, code in found:
            (examples_folder / f"line{line}.js").write_text(code, encoding="utf-8")
        # The template's own check, over its main.js and every example.
        checked = session.run(["tsc", "-p", str(folder / "jsconfig.json")], check=False)
        expect_eq(checked.returncode, 0, f"tsc -p jsconfig.json over the examples (file names "
                                         f"are their lines in docs/Guide.md):\n{checked.stdout}")
        runs = [line for line, runs, _ in found if runs]
        (folder / "app/index.html").write_text(
            page("<h1>Guide examples</h1>", "Guide", PAGE_HELPERS + RUNNER % json.dumps(runs)),
            encoding="utf-8")
        exe = session.pack(folder, artifacts / "guide.bin")
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=90)
        expect_eq(result["failures"], [], f"failed guide examples (line numbers in docs/Guide.md);"
                                          f" output:\n{app.output()}")


CASES = {"examples": examples}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
