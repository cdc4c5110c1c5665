#!/usr/bin/env python3
"""The app and window functions of window.vlx on the real window: a page runs the steps the test
hands it one by one, and between steps the test looks at the window from outside (xprop,
xwininfo) as the window manager sees it.

Protocol: the test writes step N as a script to steps/N.js beside the executable; the page polls
for it (a file beside the executable is served to the page), runs it as the body of an async
function and, when it returns a value, reports "STEP:N:<json>" as its title (DynamicAppTitle=1).
A step that returns nothing reports nothing, so a step can leave the caption to the function
under test. The page never waits on the window manager: the test does, from outside."""

from __future__ import annotations

import functools
import json
import os
import re
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from harness import (PAGE_HELPERS, RESOLVED, SCREEN_HEIGHT, SCREEN_WIDTH, App,  # noqa: E402
                     E2EError, Rect, XSession, expect, expect_eq, page, parse_atoms,
                     parse_cardinals, parse_normal_hints, run_cases, settled, wait_until)

REJECTED = "rejected"
MAXIMIZED = {"MAXIMIZED_VERT", "MAXIMIZED_HORZ"}
SCREEN = (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT)
# Window managers round frames and placements by a pixel or two.
TOLERANCE = 2
# _MOTIF_WM_HINTS: the functions flag and the functions a dialog keeps (move, close).
MWM_HINTS_FUNCTIONS = 0x1
DIALOG_FUNCTIONS = 0x4 | 0x20

RUNNER_PAGE = page(r"""
<p id="text">window functions</p>
<input id="field">""" + PAGE_HELPERS + r"""
<script>
const s = (promise) => settle(promise, 10000);
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
const AsyncFunction = (async () => {}).constructor;
async function fetchStep(n, attempt) {
  try {
    // A fresh query each time: an answer for a step that did not exist yet is never reused.
    const response = await fetch(`steps/${n}.js?attempt=${attempt}`, {cache: "no-store"});
    return response.ok ? await response.text() : null;
  } catch (e) {
    return null;
  }
}
async function runSteps() {
  for (let n = 1, attempt = 0; ; attempt++) {
    const code = await fetchStep(n, attempt);
    if (code === null) { await sleep(100); continue; }
    let out = null;
    try {
      const value = await new AsyncFunction(code)();
      if (value !== undefined) out = {value};
    } catch (e) {
      out = {error: String(e && e.stack || e)};
    }
    if (out) document.title = `STEP:${n}:` + JSON.stringify(out);
    n++;
  }
}
window.addEventListener("load", runSteps);
</script>""", title="loading")

# The second page of the package, for navigate: it tells where it is and that the bridge answers.
PAGE2 = page("<p>page 2</p>" + PAGE_HELPERS + r"""
<script>
settle(vlx.hello(), 10000).then((hello) => {
  document.title = "PAGE2:" + JSON.stringify({href: location.href, hello});
});
</script>""")


def ok(value: object) -> dict:
    return settled(RESOLVED, value)


def js(value: object) -> str:
    """A JavaScript literal for a JSON value."""
    return json.dumps(value)


# --------------------------------------------------------------------------------------------
# The window from outside


@dataclass
class Facts:
    decorated: bool
    frame: tuple[int, ...]
    window_type: str
    resizable: bool
    states: set[str]
    wm_state: str  # Normal, Iconic or Withdrawn
    motif_functions: int | None
    outer: Rect

    def outer_tuple(self) -> tuple[int, int, int, int]:
        return (self.outer.left, self.outer.top, self.outer.width, self.outer.height)


def read_facts(session: XSession, wid: int) -> Facts:
    """What the window manager sees of the window, from one xprop and one xwininfo."""
    props = session.xprop(wid)

    def line(name: str) -> str:
        m = re.search(rf"^{re.escape(name)}\(.*$", props, re.M)
        return m.group(0) if m else ""

    motif = parse_cardinals(line("_MOTIF_WM_HINTS"))
    decorated = not (len(motif) >= 3 and motif[0] & 0x2 and motif[2] == 0)
    functions = motif[1] if len(motif) >= 2 and motif[0] & MWM_HINTS_FUNCTIONS else None
    frame = tuple(parse_cardinals(line("_NET_FRAME_EXTENTS"))) or (0, 0, 0, 0)
    types = [a.removeprefix("_NET_WM_WINDOW_TYPE_")
             for a in parse_atoms(line("_NET_WM_WINDOW_TYPE"))]
    hints = parse_normal_hints(props)
    states = {a.removeprefix("_NET_WM_STATE_") for a in parse_atoms(line("_NET_WM_STATE"))}
    m = re.search(r"window state: (\w+)", props)
    client = session.client_rect(wid)
    left, right, top, bottom = frame if len(frame) == 4 else (0, 0, 0, 0)
    outer = Rect(client.left - left, client.top - top, client.width + left + right,
                 client.height + top + bottom)
    return Facts(decorated=decorated, frame=frame, window_type=(types or ["NORMAL"])[0],
                 resizable=not (hints.min_size is not None and hints.min_size == hints.max_size),
                 states=states - {"FOCUSED"}, wm_state=m.group(1) if m else "Withdrawn",
                 motif_functions=functions, outer=outer)


@dataclass
class Want:
    """What the window must show; None leaves a fact unchecked."""
    decorated: bool | None = None
    window_type: str | None = None
    resizable: bool | None = None
    has: set[str] = field(default_factory=set)
    lacks: set[str] = field(default_factory=set)
    wm_state: str | None = "Normal"
    motif_functions: int | None = None
    # left, top, width, height; a None member is not checked.
    outer: tuple[int | None, int | None, int | None, int | None] | None = None
    tolerance: int = TOLERANCE

    def problems(self, f: Facts) -> list[str]:
        out = []
        for name in ("decorated", "window_type", "resizable", "wm_state", "motif_functions"):
            want = getattr(self, name)
            if want is not None and getattr(f, name) != want:
                out.append(f"{name} {getattr(f, name)!r}, expected {want!r}")
        if self.decorated is False and any(f.frame):
            out.append(f"frame extents {f.frame} on an undecorated window")
        if not self.has <= f.states:
            out.append(f"_NET_WM_STATE {sorted(f.states)} lacks {sorted(self.has - f.states)}")
        if self.lacks & f.states:
            out.append(f"_NET_WM_STATE {sorted(f.states)} has {sorted(self.lacks & f.states)}")
        if self.outer is not None:
            got = f.outer_tuple()
            for label, want, value in zip(("left", "top", "width", "height"), self.outer, got):
                if want is not None and abs(value - want) > self.tolerance:
                    out.append(f"outer {label} {value}, expected {want} (outer {got}, "
                               f"frame l/r/t/b {f.frame})")
        return out


def size_of(outer: Rect) -> dict:
    """What getSize answers for an outer rectangle."""
    return {"top": outer.top, "left": outer.left, "width": outer.width, "height": outer.height}


def same_size(reported: object, outer: Rect) -> bool:
    if not isinstance(reported, dict):
        return False
    want = size_of(outer)
    return set(reported) == set(want) and \
        all(abs(int(reported[k]) - want[k]) <= TOLERANCE for k in want)


# --------------------------------------------------------------------------------------------
# Driving the page


class Steps:
    """The running app and its page, driven step by step."""

    def __init__(self, session: XSession, app: App, exe: Path):
        self.session = session
        self.app = app
        self.folder = exe.parent / "steps"
        self.folder.mkdir(exist_ok=True)
        self.count = 0
        self.wid = app.wait_window(timeout=60)
        # The page is loaded and the bridge answers before the first check.
        expect_eq(self.run("return await s(vlx.hello());"), ok("2026.10"), "hello")

    def send(self, code: str) -> int:
        self.count += 1
        staged = self.folder / f".{self.count}.tmp"
        staged.write_text(code, encoding="utf-8")
        os.replace(staged, self.folder / f"{self.count}.js")  # never read half-written
        return self.count

    def run(self, code: str, timeout: float = 40) -> object:
        """Runs a step that returns a value, and returns that value."""
        n = self.send(code)
        prefix = f"STEP:{n}:"
        try:
            title = self.session.wait_title(self.wid, lambda t: t.startswith(prefix), timeout,
                                            f"step {n}'s report")
        except E2EError as error:
            raise E2EError(f"{error}\nstep {n}:\n{code}\noutput:\n{self.app.output()}") from None
        out = json.loads(title[len(prefix):])
        if "error" in out:
            raise E2EError(f"step {n} threw {out['error']}\n{code}")
        return out["value"]

    def quiet(self, code: str) -> None:
        """Runs a step that reports nothing; its effect is watched from outside."""
        self.send(code)

    def facts(self) -> Facts:
        return read_facts(self.session, self.wid)

    def expect_window(self, want: Want, what: str, timeout: float = 15) -> Facts:
        """Waits until the window shows what is wanted; the window manager works at its own
        pace."""
        last: list = [None, []]

        def good() -> Facts | None:
            last[0] = self.facts()
            last[1] = want.problems(last[0])
            return None if last[1] else last[0]

        try:
            return wait_until(good, timeout, what, 0.2)  # type: ignore[return-value]
        except E2EError as error:
            raise E2EError(f"{error}:\n  " + "\n  ".join(last[1])) from None

    def settled_outer(self) -> Rect:
        return self.session.wait_settled(self.wid)

    def expect_get_size(self, what: str) -> Rect:
        """Once the window has settled, getSize answers its outer rectangle as xwininfo shows
        it."""
        outer = self.settled_outer()
        got = self.run("return await s(vlx.window.getSize());")
        expect(isinstance(got, dict) and got.get("state") == RESOLVED
               and same_size(got.get("value"), outer),
               f"{what}: getSize answered {got!r}; xwininfo shows {outer}")
        return outer


def launch(session: XSession, name: str, ini: dict[str, object], *args: str,
           files: dict[str, str] | None = None) -> tuple[Steps, Path]:
    full_ini = {"ID": f"E2EWinFn{name}", "Name": name, "DynamicAppTitle": 1, **ini}
    exe = session.make_app(name, full_ini, {"index.html": RUNNER_PAGE, **(files or {})})
    app = session.launch(exe, *args)
    return Steps(session, app, exe), exe


def expect_results(got: object, want: dict, what: str) -> None:
    expect(isinstance(got, dict), f"{what}: the page answered {got!r}")
    wrong = [f"{key}: {got.get(key)!r}, expected {value!r}"  # type: ignore[union-attr]
             for key, value in want.items() if got.get(key) != value]  # type: ignore[union-attr]
    expect(not wrong, f"{what}:\n  " + "\n  ".join(wrong))


# --------------------------------------------------------------------------------------------
# Cases

BORDER_NAMES = ["none", "single", "sizeable", "dialog", "toolwindow", "sizetoolwindow"]

# What each border looks like to the window manager.
BORDER_LOOKS = {
    "none": Want(decorated=False, window_type="NORMAL"),
    "single": Want(decorated=True, window_type="NORMAL", resizable=False),
    "sizeable": Want(decorated=True, window_type="NORMAL", resizable=True),
    "dialog": Want(decorated=True, window_type="DIALOG", resizable=False,
                   motif_functions=DIALOG_FUNCTIONS),
    "toolwindow": Want(decorated=True, window_type="UTILITY", resizable=False),
    "sizetoolwindow": Want(decorated=True, window_type="UTILITY", resizable=True),
}

FULLSCREEN_LOOK = Want(decorated=False, window_type="NORMAL", has=MAXIMIZED, outer=SCREEN)


def fullscreen(border: int | None, args, artifacts: Path) -> None:
    """enterFullscreen makes the window borderless and maximized over the whole screen, from any
    configured border; a second enter and setBorder "none" change nothing; exitFullscreen ends
    in the normal state with the configured border (default sizeable) and the size from before;
    a second exit changes nothing."""
    configured = BORDER_NAMES[2 if border is None else border]
    normal_look = Want(**{**BORDER_LOOKS[configured].__dict__, "lacks": MAXIMIZED | {"HIDDEN"}})
    ini = {"Width": 800, "Height": 600, **({} if border is None else {"WindowBorder": border})}
    with XSession("fullscreen", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "Fullscreen", ini)
        steps.expect_window(Want(**{**normal_look.__dict__, "outer": (None, None, 800, 600)}),
                            "the configured window")
        expect_results(steps.run("""return {inFullscreen: await s(vlx.app.inFullscreen()),
                                            border: await s(vlx.window.getBorder())};"""),
                       {"inFullscreen": ok(False), "border": ok(configured)}, "at start")

        expect_results(steps.run("return {enter: await s(vlx.app.enterFullscreen())};"),
                       {"enter": ok(True)}, "enterFullscreen")
        steps.expect_window(FULLSCREEN_LOOK, "full screen")
        steps.expect_get_size("getSize in full screen")
        expect_results(steps.run("""return {
            inFullscreen: await s(vlx.app.inFullscreen()),
            border: await s(vlx.window.getBorder()), state: await s(vlx.window.getState()),
            again: await s(vlx.app.enterFullscreen()), stillIn: await s(vlx.app.inFullscreen()),
            setNone: await s(vlx.window.setBorder({border: "none"})),
            afterNone: await s(vlx.app.inFullscreen()),
            borderNow: await s(vlx.window.getBorder())};"""),
            {"inFullscreen": ok(True), "border": ok("none"), "state": ok("maximized"),
             "again": ok(True), "stillIn": ok(True), "setNone": ok(True), "afterNone": ok(True),
             "borderNow": ok("none")},
            "in full screen")
        time.sleep(1)  # neither the second enter nor setBorder "none" changes the window
        steps.expect_window(FULLSCREEN_LOOK, "full screen after the second enter", 5)

        # One exit ends full screen, whatever number of enters came before.
        expect_results(steps.run("return {exit: await s(vlx.app.exitFullscreen())};"),
                       {"exit": ok(True)}, "exitFullscreen")
        # The window manager gives back the size from before; frames may differ by a handle.
        steps.expect_window(Want(**{**normal_look.__dict__, "outer": (None, None, 800, 600),
                                    "tolerance": 6}),
                            "the window after leaving full screen")
        outer = steps.expect_get_size("getSize after leaving full screen")
        expect_results(steps.run("""return {
            inFullscreen: await s(vlx.app.inFullscreen()),
            border: await s(vlx.window.getBorder()), state: await s(vlx.window.getState()),
            again: await s(vlx.app.exitFullscreen()), stillOut: await s(vlx.app.inFullscreen())};
            """),
            {"inFullscreen": ok(False), "border": ok(configured), "state": ok("normal"),
             "again": ok(True), "stillOut": ok(False)}, "after leaving full screen")
        time.sleep(1)  # the second exit changes nothing
        steps.expect_window(Want(**{**normal_look.__dict__, "outer": (outer.left, outer.top,
                                                                      outer.width, outer.height)}),
                            "the window after the second exit", 5)


# The page's own state, which must outlive every border change: a script variable, the DOM, a
# typed text and the document itself (its time origin changes with a reload).
PAGE_STATE = """{kept: window.kept, mark: document.getElementById("text").dataset.mark,
                 typed: document.getElementById("field").value,
                 origin: performance.timeOrigin, href: location.href}"""


def borders(args, artifacts: Path) -> None:
    """setBorder with each name gives the frame of that name; getBorder answers the name; the
    page lives on across every change; an unknown name changes nothing, an absent one means
    sizeable."""
    with XSession("borders", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "Borders", {})
        state = steps.run(f"""window.kept = {{counter: 41}};
            document.getElementById("text").dataset.mark = "marked";
            document.getElementById("field").value = "typed text";
            return {PAGE_STATE};""")
        steps.expect_window(BORDER_LOOKS["sizeable"], "the default border")
        # Every name from every other kind of frame: the window's type changes several times.
        for name in ["none", "single", "dialog", "toolwindow", "sizetoolwindow", "sizeable",
                     "dialog", "none"]:
            got = steps.run(f"""const set = await s(vlx.window.setBorder({{border: {js(name)}}}));
                return {{set, border: await s(vlx.window.getBorder()),
                         inFullscreen: await s(vlx.app.inFullscreen()), page: {PAGE_STATE}}};""")
            expect_results(got, {"set": ok(True), "border": ok(name), "inFullscreen": ok(False),
                                 "page": state}, f"setBorder {name}")
            steps.expect_window(Want(**{**BORDER_LOOKS[name].__dict__,
                                        "lacks": MAXIMIZED | {"HIDDEN"}}),
                                f"the border {name}")
            steps.expect_get_size(f"getSize with the border {name}")
        for data, want in (('{border: "Dialog"}', "none"), ('{border: ""}', "none"),
                           ("{}", "sizeable")):
            got = steps.run(f"""return {{set: await s(vlx.window.setBorder({data})),
                                         border: await s(vlx.window.getBorder())}};""")
            expect_results(got, {"set": ok(True), "border": ok(want)}, f"setBorder({data})")
            steps.expect_window(BORDER_LOOKS[want], f"the border after setBorder({data})")
        expect_results(steps.run(f"window.kept.counter++; return {{page: {PAGE_STATE}}};"),
                       {"page": {**state, "kept": {"counter": 42}}}, "the page at the end")


def style(args, artifacts: Path) -> None:
    """setStyle "ontop" keeps the window above others, every other text (capitals included)
    makes it normal; getStyle follows; the stacking survives a border change."""
    with XSession("style", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "Style", {})
        expect_results(steps.run("return {style: await s(vlx.window.getStyle())};"),
                       {"style": ok("normal")}, "at start")
        steps.expect_window(Want(lacks={"ABOVE"}), "a normal window at start")
        for data, above in (('{style: "ontop"}', True), ('{style: "ONTOP"}', False),
                            ('{style: "ontop"}', True), ("{}", False), ('{style: "ontop"}', True),
                            ('{style: "normal"}', False)):
            got = steps.run(f"""return {{set: await s(vlx.window.setStyle({data})),
                                         style: await s(vlx.window.getStyle())}};""")
            name = "ontop" if above else "normal"
            expect_results(got, {"set": ok(True), "style": ok(name)}, f"setStyle({data})")
            steps.expect_window(Want(has={"ABOVE"}) if above else Want(lacks={"ABOVE"}),
                                f"the window after setStyle({data})")
        # A border that changes the window's type re-maps it: it stays above all the same.
        got = steps.run("""return {style: await s(vlx.window.setStyle({style: "ontop"})),
                                   border: await s(vlx.window.setBorder({border: "toolwindow"})),
                                   now: await s(vlx.window.getStyle())};""")
        expect_results(got, {"style": ok(True), "border": ok(True), "now": ok("ontop")},
                       "ontop, then the toolwindow border")
        steps.expect_window(Want(window_type="UTILITY", has={"ABOVE"}),
                            "an ontop window after a border change")


def state(args, artifacts: Path) -> None:
    """setState maximized, minimized and normal reach the window manager, also from minimized
    straight to maximized; getState follows; a name in other letter case changes nothing."""
    with XSession("state", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "State", {"Width": 800, "Height": 600})
        expect_results(steps.run("return {state: await s(vlx.window.getState())};"),
                       {"state": ok("normal")}, "at start")
        start = steps.expect_window(Want(lacks=MAXIMIZED | {"HIDDEN"}, outer=(None, None, 800,
                                                                              600)),
                                    "the window at start")
        looks = {
            "maximized": Want(has=MAXIMIZED, lacks={"HIDDEN"}, outer=SCREEN),
            "minimized": Want(has={"HIDDEN"}, wm_state="Iconic"),
            "normal": Want(lacks=MAXIMIZED | {"HIDDEN"}, outer=start.outer_tuple()),
        }
        for name in ["maximized", "minimized", "maximized", "normal", "minimized", "normal"]:
            expect_results(steps.run(f"""return {{set: await s(vlx.window.setState(
                {{state: {js(name)}}}))}};"""), {"set": ok(True)}, f"setState {name}")
            steps.expect_window(looks[name], f"the window after setState {name}")
            # Asked once the window manager has done it: the runtime's view agrees.
            expect_results(steps.run("return {state: await s(vlx.window.getState())};"),
                           {"state": ok(name)}, f"getState after setState {name}")
        for data in ('{state: "Maximized"}', '{state: "hidden"}'):
            got = steps.run(f"""return {{set: await s(vlx.window.setState({data})),
                                         state: await s(vlx.window.getState())}};""")
            expect_results(got, {"set": ok(True), "state": ok("normal")}, f"setState({data})")
            time.sleep(1)
            steps.expect_window(looks["normal"], f"the window after setState({data})", 2)


# A caption with the characters JSON and xprop both escape, and some outside ASCII.
ODD_TITLE = 'He said "hi" \\ C:\\temp\\ caf\u00e9 \u20ac'


def title(args, artifacts: Path) -> None:
    """setTitle puts the text unchanged into the window's caption, an empty text included;
    getTitle returns it intact; the next document title replaces it (DynamicAppTitle)."""
    with XSession("title", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "Title", {})
        for text in (ODD_TITLE, ""):
            # Quiet: a report would put the page's title into the caption.
            steps.quiet(f"""window.setResult = await s(vlx.window.setTitle({{title: {js(text)}}}));
                            window.gotTitle = await s(vlx.window.getTitle());""")
            # (wait_title cannot wait for an empty caption: it returns the caption as its
            # success value.)
            last = [""]

            def shows(want: str = text) -> bool:
                last[0] = session.title(steps.wid)
                return last[0] == want

            try:
                wait_until(shows, 30, f"the caption {text!r}")
            except E2EError as error:
                raise E2EError(f"{error}; the caption is {last[0]!r}") from None
            name_line = session.xprop(steps.wid, "-notype", "_NET_WM_NAME")
            expect(name_line.startswith("_NET_WM_NAME = "), f"_NET_WM_NAME: {name_line!r}")
            expect_results(steps.run("return {set: window.setResult, got: window.gotTitle};"),
                           {"set": ok(True), "got": ok(text)}, f"setTitle {text!r}")
        # The report just made replaced the caption, and getTitle tells that one.
        caption = session.title(steps.wid)
        expect(caption.startswith("STEP:"), f"the caption is {caption!r}")
        got = steps.run("return {got: await s(vlx.window.getTitle())};")
        expect_results(got, {"got": ok(caption)}, "getTitle after a title change")


def size(args, artifacts: Path) -> None:
    """setSize moves and sizes the outer rectangle in one call, omitted members keep their
    values, numbers are read leniently, and the size limits of vlx.ini still apply; getSize
    answers what xwininfo shows."""
    ini = {"Width": 800, "Height": 600, "MinWidth": 400, "MaxWidth": 1100, "MinHeight": 300,
           "MaxHeight": 900}
    with XSession("size", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "Size", ini)
        rows = [
            ("{top: 100, left: 150, width: 700, height: 500}", (150, 100, 700, 500)),
            ("{width: 1024.9}", (150, 100, 1024, 500)),
            ('{width: "1200", height: 950}', (150, 100, 1100, 900)),
            ('{width: 200, height: "abc"}', (150, 100, 400, 300)),
            ('{left: " 64", top: "$20", width: "640px", height: "480"}', (64, 32, 640, 480)),
            ("{top: 300, left: 400, width: 500, height: 400}", (400, 300, 500, 400)),
        ]
        steps.expect_window(Want(outer=(None, None, 800, 600)), "the window at start")
        for data, rect in rows:
            expect_results(steps.run(f"return {{set: await s(vlx.window.setSize({data}))}};"),
                           {"set": ok(True)}, f"setSize({data})")
            steps.expect_window(Want(outer=rect), f"the window after setSize({data})")
            steps.expect_get_size(f"getSize after setSize({data})")


def size_fixed_border(args, artifacts: Path) -> None:
    """The size limits of vlx.ini hold for a fixed border too, and still after the border
    becomes sizeable."""
    ini = {"Width": 500, "Height": 400, "WindowBorder": 1, "MaxWidth": 600, "MaxHeight": 500,
           "MinWidth": 300, "MinHeight": 200}
    with XSession("sizefixed", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "SizeFixed", ini)
        steps.expect_window(Want(outer=(None, None, 500, 400)), "the window at start")
        rows = [
            ("{top: 50, left: 60, width: 1000, height: 1000}", (60, 50, 600, 500)),
            ("{width: 100, height: 100}", (60, 50, 300, 200)),
            ("{width: 450, height: 350}", (60, 50, 450, 350)),
        ]
        for data, rect in rows:
            expect_results(steps.run(f"return {{set: await s(vlx.window.setSize({data}))}};"),
                           {"set": ok(True)}, f"setSize({data})")
            steps.expect_window(Want(outer=rect), f"the window after setSize({data})")
        expect_results(steps.run('return {set: await s(vlx.window.setBorder({border: "sizeable"}))};'),
                       {"set": ok(True)}, "setBorder sizeable")
        steps.expect_window(Want(outer=(60, 50, 450, 350)), "the window after setBorder sizeable")
        for data, rect in [("{width: 1000, height: 1000}", (60, 50, 600, 500)),
                           ("{width: 400, height: 300}", (60, 50, 400, 300))]:
            expect_results(steps.run(f"return {{set: await s(vlx.window.setSize({data}))}};"),
                           {"set": ok(True)}, f"sizeable: setSize({data})")
            steps.expect_window(Want(outer=rect), f"the sizeable window after setSize({data})")


def zoom(args, artifacts: Path) -> None:
    """setZoom takes a factor with a full stop, scales the page (its CSS viewport shrinks) and
    getZoom answers it; a factor with a comma is no number: zoom 1 and the answer false."""
    with XSession("zoom", artifacts, args.bin_dir) as session:
        steps, _ = launch(session, "Zoom", {})
        base = steps.run("return {zoom: await s(vlx.window.getZoom()), width: innerWidth};")
        expect_results(base, {"zoom": ok("1")}, "at start")
        width = base["width"]  # type: ignore[index]
        for factor, answer, zoom_text in (('"1.5"', True, "1.5"), ('"1,5"', False, "1"),
                                          ("2", True, "2"), ('"abc"', False, "1")):
            ratio = float(zoom_text)
            got = steps.run(f"""const set = await s(vlx.window.setZoom({{factor: {factor}}}));
                // The layout follows the zoom in a moment.
                for (let i = 0; i < 50 && Math.abs(innerWidth * {ratio} - {width}) > 2; i++)
                  await sleep(100);
                return {{set, zoom: await s(vlx.window.getZoom()), width: innerWidth}};""")
            expect_results(got, {"set": ok(answer), "zoom": ok(zoom_text)}, f"setZoom {factor}")
            page_width = got["width"]  # type: ignore[index]
            expect(abs(page_width * ratio - width) <= 2,
                   f"setZoom {factor}: the page is {page_width} CSS pixels wide, expected "
                   f"{width} / {ratio}")


ARGS = ["first", "two words", "C:\\dir\\file.txt", "caf\u00e9", "--flag=\"x\""]


def arguments(args, artifacts: Path) -> None:
    """getArgs answers the executable's full path, then every argument as the process got it."""
    with XSession("args", artifacts, args.bin_dir) as session:
        steps, exe = launch(session, "Args", {}, *ARGS)
        expect_results(steps.run("return {args: await s(vlx.app.getArgs())};"),
                       {"args": ok([str(exe.resolve()), *ARGS])}, "getArgs")


def navigate(args, artifacts: Path) -> None:
    """Without arguments getArgs answers the executable alone; navigate without a url fails with
    "Missing url"; with a "file:///" url it loads that page of the package, where the bridge
    answers."""
    with XSession("navigate", artifacts, args.bin_dir) as session:
        steps, exe = launch(session, "Navigate", {}, files={"sub/page2.html": PAGE2})
        got = steps.run("""return {args: await s(vlx.app.getArgs()),
            empty: await s(vlx.app.navigate({url: ""})),
            absent: await s(vlx.app.navigate({}))};""")
        expect_results(got, {"args": ok([str(exe.resolve())]),
                             "empty": settled(REJECTED, "Missing url"),
                             "absent": settled(REJECTED, "Missing url")}, "getArgs and navigate")
        steps.quiet('vlx.app.navigate({url: "file:///sub/page2.html"});')
        caption = session.wait_title(steps.wid, lambda t: t.startswith("PAGE2:"), 30,
                                     "the second page")
        expect_eq(json.loads(caption[len("PAGE2:"):]),
                  {"href": "vlx:///sub/page2.html", "hello": ok("2026.10")}, "the second page")


CASES = {
    "fullscreen_default_border": functools.partial(fullscreen, None),
    **{f"fullscreen_border_{name}": functools.partial(fullscreen, number)
       for number, name in enumerate(BORDER_NAMES) if name != "sizeable"},
    "borders": borders,
    "style": style,
    "state": state,
    "title": title,
    "size": size,
    "size_fixed_border": size_fixed_border,
    "zoom": zoom,
    "args": arguments,
    "navigate": navigate,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
