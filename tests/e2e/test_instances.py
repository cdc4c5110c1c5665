#!/usr/bin/env python3
"""The single-instance rule and the two-argument command line that opens a further window."""

from __future__ import annotations

import fcntl
import json
import os
import stat
import sys
import time
from pathlib import Path

from harness import XSession, expect, expect_eq, page, run_cases, wait_until
from test_security import wait_report, web_server

APP_ID = "E2EInstances"
FILES = {
    "index.html": page("<p>first page</p>", title="first page"),
    "page2.html": page("<p>second page</p>", title="second page"),
}


def single_instance(args, artifacts: Path) -> None:
    """While one instance runs, every other start ends silently with 0, except the start with
    exactly the two arguments AppID and a URL, which opens that page in a window of its own.
    Once the first instance has ended, a plain start runs again."""
    with XSession("single", artifacts, args.bin_dir) as session:
        exe = session.make_app("single", {"ID": APP_ID, "Name": "Instances",
                                          "DynamicAppTitle": 1}, FILES)
        first = session.launch(exe)
        first_window = first.wait_window()
        session.wait_title(first_window, lambda t: t == "first page")
        # Launchers and desktop files (StartupWMClass) know the window by the application's ID.
        expect_eq(session.xprop(first_window, "WM_CLASS").strip(),
                  f'WM_CLASS(STRING) = "{APP_ID}", "{APP_ID}"', "the window's class")

        data_dir = Path(session.env["XDG_DATA_HOME"]) / APP_ID
        expect(data_dir.is_dir(), f"no data folder {data_dir}")
        # The lock: a file held locked in a folder only the user can enter.
        lock_folder = Path(session.env["XDG_RUNTIME_DIR"]) / "velloc"
        info = lock_folder.lstat()
        expect(stat.S_ISDIR(info.st_mode) and stat.S_IMODE(info.st_mode) == 0o700
               and info.st_uid == os.geteuid(), f"lock folder {oct(info.st_mode)}")
        with open(lock_folder / f"{APP_ID}.lock", "rb") as lock:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                expect(False, "the instance lock is not held")
            except BlockingIOError:
                pass

        for arguments in ([], [APP_ID], [APP_ID.lower(), "file:///page2.html"],
                          [APP_ID, "file:///page2.html", "third"]):
            other = session.launch(exe, *arguments)
            session.wait_no_window(other, 15)
            expect_eq(other.wait(5), 0, f"exit code of a second start with {arguments}")

        second = session.launch(exe, APP_ID, "file:///page2.html")
        second_window = second.wait_window()
        session.wait_title(second_window, lambda t: t == "second page",
                           what="the page from the command line")
        expect(first.running(), "the first instance ended")
        session.close_window(second_window)
        expect_eq(second.wait(15), 0, "exit code of the second window")
        expect(first.running(), "the first instance ended with the second")
        expect_eq(session.title(first_window), "first page", "title of the first window")

        session.close_window(first_window)
        expect_eq(first.wait(15), 0, "exit code of the first instance")
        again = session.launch(exe)
        again_window = again.wait_window()
        session.wait_title(again_window, lambda t: t == "first page")


def allow_instances(args, artifacts: Path) -> None:
    """With AllowInstances=1 a second plain start opens a second window."""
    with XSession("allow", artifacts, args.bin_dir) as session:
        exe = session.make_app("allow", {"ID": APP_ID, "Name": "Instances",
                                         "DynamicAppTitle": 1, "AllowInstances": 1}, FILES)
        first = session.launch(exe)
        first.wait_window()
        second = session.launch(exe)
        window = second.wait_window()
        session.wait_title(window, lambda t: t == "first page")
        expect(first.running(), "the first instance ended")


def later_start_reaches_the_first(args, artifacts: Path) -> None:
    """A later start hands its arguments to the running instance and ends with 0 without a
    window; the first window, minimized before, comes back active and its page hears of the
    arguments through vlx.events.onSecondInstance."""
    index = page("<p>first</p>", title="first page", head="""<script>
vlx.events.onSecondInstance = (args) => { document.title = "ARGS:" + JSON.stringify(args); };
</script>""")
    with XSession("later", artifacts, args.bin_dir) as session:
        exe = session.make_app("later", {"ID": APP_ID, "Name": "Instances",
                                         "DynamicAppTitle": 1}, {"index.html": index})
        first = session.launch(exe)
        window = first.wait_window()
        session.wait_title(window, lambda t: t == "first page")
        session.x("xdotool", "windowminimize", str(window))
        wait_until(lambda: "HIDDEN" in session.net_wm_state(window) or None, 10,
                   "the window minimized")

        arguments = ["velloc-e2e://open?note=1", "/tmp/Café notes.txt"]
        second = session.launch(exe, *arguments)
        session.wait_no_window(second, 10)
        expect_eq(second.wait(10), 0, "exit code of the later start")
        session.wait_title(window, lambda t: t.startswith("ARGS:"), what="the page's event")
        expect_eq(json.loads(session.title(window)[5:]), arguments, "the arguments handed over")
        expect("HIDDEN" not in session.net_wm_state(window), "the window restored")
        active = session.xprop_root("_NET_ACTIVE_WINDOW").split()[-1]
        expect_eq(int(active, 16), window, "the active window")


def minimize(session, window: int) -> None:
    session.x("xdotool", "windowminimize", str(window))
    wait_until(lambda: "HIDDEN" in session.net_wm_state(window) or None, 10,
               "the window minimized")


def expect_forward(session, window: int) -> None:
    """The window comes back from the task bar and becomes the active one."""
    def forward() -> bool:
        active = session.xprop_root("_NET_ACTIVE_WINDOW").split()[-1]
        return "HIDDEN" not in session.net_wm_state(window) and int(active, 16) == window

    wait_until(forward, 10, "the window restored and active")


# The application's page: it hears of later starts, and goes to the remote page once.
LATER_INDEX = page("<p>first</p>", title="first page", head="""<script>
vlx.events.onSecondInstance = (args) => { document.title = "ARGS:" + JSON.stringify(args); };
if (!sessionStorage.getItem("went")) {
  sessionStorage.setItem("went", "1");
  setTimeout(() => { location.href = %s; }, 300);
}
</script>""")

# A remote page that would take the later start's arguments, and goes back when told.
LATER_REMOTE = page("<p>remote</p>", title="remote", head="""<script>
vlx.events.onSecondInstance = (args) => {
  const x = new XMLHttpRequest(); x.open("POST", "/leaked"); x.send(JSON.stringify(args));
};
const ready = new XMLHttpRequest(); ready.open("POST", "/ready"); ready.send('{"ready": true}');
setInterval(async () => {
  if ((await fetch("/back.json")).ok) history.back();
}, 200);
</script>""")


def later_start_waits_for_the_application(args, artifacts: Path) -> None:
    """While the window shows a remote page, a later start brings it forward but its arguments
    (a link with a sign-in code, a file) do not reach that page; they reach the application's
    page when it is shown again."""
    web = artifacts / "web"
    web.mkdir()
    (web / "remote.html").write_text(LATER_REMOTE, encoding="utf-8")
    with web_server(web) as origin, XSession("remote", artifacts, args.bin_dir) as session:
        exe = session.make_app("remote", {"ID": APP_ID, "Name": "Instances", "DynamicAppTitle": 1},
                               {"index.html": LATER_INDEX % json.dumps(f"{origin}/remote.html")})
        first = session.launch(exe)
        window = first.wait_window()
        wait_report(first, web, name="ready")
        minimize(session, window)

        arguments = ["velloc-e2e://done?code=SECRET", "/tmp/notes.txt"]
        second = session.launch(exe, *arguments)
        expect_eq(second.wait(10), 0, "exit code of the later start")
        expect_forward(session, window)
        leaked = web / "leaked.json"
        time.sleep(1.5)
        expect(not leaked.exists(), "the remote page got the arguments")
        expect_eq(session.title(window), "remote", "the page shown")

        (web / "back.json").write_text("{}", encoding="utf-8")
        session.wait_title(window, lambda t: t.startswith("ARGS:"), what="the application's event")
        expect_eq(json.loads(session.title(window)[5:]), arguments, "the arguments handed over")
        expect(not leaked.exists(), "the remote page got the arguments")


def later_start_in_part(args, artifacts: Path) -> None:
    """A later start whose arguments are not UTF-8, or more than the channel takes, still brings
    the window forward and hands over what it can: bytes that are not UTF-8 as U+FFFD, the
    leading arguments that fit."""
    index = page("<p>first</p>", title="first page", head="""<script>
const calls = [];
const brief = (a) => a.length > 40 ? a[0] + " " + a.length : a;
vlx.events.onSecondInstance = (args) => {
  calls.push({count: args.length, first: args.slice(0, 2).map(brief), last: brief(args[args.length - 1])});
  document.title = "ARGS:" + JSON.stringify(calls);
};
</script>""")
    with XSession("part", artifacts, args.bin_dir) as session:
        exe = session.make_app("part", {"ID": APP_ID, "Name": "Instances", "DynamicAppTitle": 1},
                               {"index.html": index})
        first = session.launch(exe)
        window = first.wait_window()
        session.wait_title(window, lambda t: t == "first page")
        long = 40 * 1024
        starts = [
            [b"\xff\xfeabc", "caf\u00e9"] + [f"a{i}" for i in range(300)],
            ["x" * long, "y" * long, "z"],
        ]
        for number, arguments in enumerate(starts, 1):
            minimize(session, window)
            later = session.launch(exe, *arguments)
            expect_eq(later.wait(10), 0, "exit code of the later start")
            expect_forward(session, window)
            session.wait_title(window, lambda t: t.count('"count"') == number,
                               what=f"later start {number} at the page")
        expect_eq(json.loads(session.title(window)[5:]), [
            {"count": 256, "first": ["\ufffd\ufffdabc", "caf\u00e9"], "last": "a253"},
            {"count": 1, "first": [f"x {long}"], "last": f"x {long}"},
        ], "what the page heard")


CASES = {"single_instance": single_instance, "allow_instances": allow_instances,
         "later_start_reaches_the_first": later_start_reaches_the_first,
         "later_start_waits_for_the_application": later_start_waits_for_the_application,
         "later_start_in_part": later_start_in_part}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
