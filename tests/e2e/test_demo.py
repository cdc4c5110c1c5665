#!/usr/bin/env python3
"""The demo app, packed from examples/demo, shows its page with style sheet, script and image
from the package, and closes through the close protocol."""

from __future__ import annotations

import sys
import time
from pathlib import Path

from harness import XSession, count_near, expect, expect_eq, hex_colour, run_cases

# Colours that only one part of the demo paints: the header (style.css), the logo's orange
# (images/logo.svg) and the green of the status badge and the check marks, which app.js sets
# once the bridge has answered.
HEADER = hex_colour("#1d2b53")
LOGO = hex_colour("#ff7a18")
ANSWERED = hex_colour("#1f9d55")


def demo_page(args, artifacts: Path) -> None:
    with XSession("demo", artifacts, args.bin_dir) as session:
        exe = session.pack(args.source_dir / "examples/demo", artifacts / "velloc-demo")
        app = session.launch(exe)
        wid = app.wait_window()
        expect_eq(session.title(wid), "Velloc Demo", "window title")
        rect = session.wait_settled(wid)

        # The page has no way to tell the harness it is done (DynamicAppTitle is off), so look
        # until what it paints has all arrived: the check marks turn green first, the badge
        # once the bridge has answered.
        minimum = {"header": 50_000, "logo": 1_000, "answered": 3_000}
        counts: dict[str, int] = {}
        colours: dict = {}
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            image = session.screenshot(artifacts / "screenshot.png").crop(rect)
            colours = image.colours()
            counts = {name: count_near(colours, colour) for name, colour in
                      (("header", HEADER), ("logo", LOGO), ("answered", ANSWERED))}
            if all(counts[name] >= least for name, least in minimum.items()):
                break
            time.sleep(0.5)
        expect(all(counts[name] >= least for name, least in minimum.items()),
               f"pixels of the header (style.css), logo (image) and answers (app.js and the "
               f"bridge): {counts}, expected at least {minimum}; see {artifacts}")
        expect(len(colours) > 200, f"the window looks blank: {len(colours)} colours")

        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code after closing the demo")


CASES = {"demo_page": demo_page}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
