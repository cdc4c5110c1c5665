#!/usr/bin/env python3
"""Window geometry, size limits, placement, border, state and stacking from vlx.ini, as the
window manager sees them (xprop, xwininfo), for a table of configurations."""

from __future__ import annotations

import functools
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

from harness import (PAGE_HELPERS, SCREEN_HEIGHT, SCREEN_WIDTH, E2EError, XSession, page,
                     run_cases)

MAXIMIZED = {"MAXIMIZED_VERT", "MAXIMIZED_HORZ"}
# _MOTIF_WM_HINTS functions: a dialog frame may be moved and closed, nothing else.
MWM_FUNC_MOVE, MWM_FUNC_CLOSE = 0x4, 0x20


def centred(width: int, height: int) -> tuple[int, int, int, int]:
    return ((SCREEN_WIDTH - width) // 2, (SCREEN_HEIGHT - height) // 2, width, height)


@dataclass
class Row:
    name: str
    ini: dict[str, object]
    # The outer rectangle (frame included): left, top, width, height.
    outer: tuple[int | None, int | None, int, int] | None = None
    # A position the window must not have (Top and Left superseded by the system's choice).
    not_at: tuple[int, int] | None = None
    decorated: bool = True
    resizable: bool = True
    # Outer size limits: min width, min height, max width, max height (0: none).
    limits: tuple[int, int, int, int] | None = None
    window_type: str = "NORMAL"
    states: set[str] = field(default_factory=set)
    # _MOTIF_WM_HINTS functions the window asks for, when it restricts them.
    functions: int | None = None
    # What the page's own bridge calls report, when checked.
    page: dict[str, object] | None = None


ROWS = [
    Row("defaults", {}, outer=centred(800, 600)),
    Row("size_centred_over_top_left", {"Width": 640, "Height": 480, "Top": 10, "Left": 20},
        outer=centred(640, 480), not_at=(20, 10)),
    Row("system_placement", {"WindowPosition": 1, "Width": 500, "Height": 400, "Top": 10,
                             "Left": 20}, not_at=(20, 10), outer=(None, None, 500, 400)),
    Row("limits_clamp_size", {"Width": 1000, "Height": 500, "MaxWidth": 700, "MinHeight": 550,
                              "MinWidth": 300},
        outer=centred(700, 550), limits=(300, 550, 700, 0)),
    Row("min_above_max", {"MinWidth": 900, "MaxWidth": 600}, outer=centred(900, 600),
        limits=(900, 0, 900, 0)),
    Row("border_none", {"WindowBorder": 0}, outer=centred(800, 600), decorated=False),
    Row("border_single", {"WindowBorder": 1}, outer=centred(800, 600), resizable=False),
    Row("border_sizeable", {"WindowBorder": 2}, outer=centred(800, 600)),
    Row("border_dialog", {"WindowBorder": 3}, outer=centred(800, 600), resizable=False,
        window_type="DIALOG", functions=MWM_FUNC_MOVE | MWM_FUNC_CLOSE),
    Row("border_tool", {"WindowBorder": 4}, outer=centred(800, 600), resizable=False,
        window_type="UTILITY"),
    Row("border_sizeable_tool", {"WindowBorder": 5}, outer=centred(800, 600),
        window_type="UTILITY"),
    Row("maximized", {"WindowState": 1}, outer=(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT),
        states=MAXIMIZED),
    Row("state_2_is_normal", {"WindowState": 2}, outer=centred(800, 600)),
    Row("full_screen", {"WindowStyle": 1, "WindowBorder": 2, "WindowState": 0},
        outer=(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT), decorated=False, states=MAXIMIZED,
        page={"inFullscreen": True}),
    Row("full_screen_over_border_and_state", {"WindowStyle": 1, "WindowBorder": 3,
                                              "WindowState": 2},
        outer=(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT), decorated=False, states=MAXIMIZED),
    Row("stays_on_top", {"WindowOrder": 1}, outer=centred(800, 600), states={"ABOVE"}),
    Row("order_2_is_normal", {"WindowOrder": 2}, outer=centred(800, 600)),
]

# The page tells whether the bridge sees the window in full-screen mode.
ROW_PAGE = page("<h1>window</h1>" + PAGE_HELPERS + """
<script>
settle(vlx.app.inFullscreen(), 5000).then((s) => report({inFullscreen: s.value}));
</script>""")


def check_row(session: XSession, row: Row, wid: int) -> list[str]:
    problems = []
    outer = session.wait_settled(wid)
    frame = session.frame_extents(wid)
    if row.outer is not None:
        got = (outer.left, outer.top, outer.width, outer.height)
        for label, want, value in zip(("left", "top", "width", "height"), row.outer, got):
            if want is not None and abs(value - want) > 1:
                problems.append(f"outer {label} {value}, expected {want} (outer {got}, "
                                f"frame l/r/t/b {frame})")
    if row.not_at is not None and (outer.left, outer.top) == row.not_at:
        problems.append(f"placed at {row.not_at}, which the system placement supersedes")
    decorated = session.decorated(wid)
    if decorated != row.decorated:
        problems.append(f"decorated {decorated}, expected {row.decorated}")
    hints = session.normal_hints(wid)
    fixed = hints.min_size is not None and hints.min_size == hints.max_size
    if fixed == row.resizable:
        problems.append(f"resizable {not fixed}, expected {row.resizable} ({hints})")
    if row.limits is not None:
        frame_w, frame_h = frame[0] + frame[1], frame[2] + frame[3]
        min_w, min_h, max_w, max_h = row.limits
        got_min = hints.min_size or (0, 0)
        got_max = hints.max_size
        if min_w and got_min[0] + frame_w != min_w:
            problems.append(f"minimum width {got_min[0] + frame_w}, expected {min_w}")
        if min_h and got_min[1] + frame_h != min_h:
            problems.append(f"minimum height {got_min[1] + frame_h}, expected {min_h}")
        if max_w and (got_max is None or got_max[0] + frame_w != max_w):
            problems.append(f"maximum size hint {got_max}, expected outer width {max_w}")
        if max_h and (got_max is None or got_max[1] + frame_h != max_h):
            problems.append(f"maximum size hint {got_max}, expected outer height {max_h}")
    types = session.window_types(wid)
    if types[:1] != [row.window_type]:
        problems.append(f"window type {types}, expected {row.window_type}")
    states = session.net_wm_state(wid) - {"FOCUSED"}
    if states != row.states:
        problems.append(f"_NET_WM_STATE {sorted(states)}, expected {sorted(row.states)}")
    if row.functions is not None:
        hints_line = session.xprop(wid, "_MOTIF_WM_HINTS")
        values = [int(v, 0) for v in hints_line.split("=", 1)[1].split(",")] \
            if "=" in hints_line else []
        if len(values) < 2 or not values[0] & 1 or values[1] != row.functions:
            problems.append(f"_MOTIF_WM_HINTS {values}, expected functions {row.functions:#x}")
    return problems


def run_row(row: Row, args, artifacts: Path) -> None:
    ini = {"ID": f"E2EWin{row.name}", "Name": row.name, "DynamicAppTitle": 1, **row.ini}
    with XSession(row.name, artifacts, args.bin_dir) as session:
        exe = session.make_app(row.name, ini, {"index.html": ROW_PAGE})
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid)
        # The window manager may still be busy with the window: give it a few seconds to reach
        # the expected state before reporting what differs.
        deadline = time.monotonic() + 5
        problems = check_row(session, row, wid)
        while problems and time.monotonic() < deadline:
            time.sleep(0.25)
            problems = check_row(session, row, wid)
        if row.page is not None:
            for key, value in row.page.items():
                if result.get(key) != value:
                    problems.append(f"page: {key} is {result.get(key)!r}, expected {value!r}")
        if problems:
            session.screenshot(artifacts / "screen.png")
            raise E2EError(f"vlx.ini {row.ini}:\n  " + "\n  ".join(problems))


CASES = {row.name: functools.partial(run_row, row) for row in ROWS}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
