#!/usr/bin/env python3
"""The shell and system functions against real desktop services: notifications, the file
manager and logind as python-dbusmock services on private buses (the system bus too, so the
machine itself is never logged off or powered off), real commands, real X windows."""

from __future__ import annotations

import base64
import json
import os
import re
import select
import signal
import subprocess
import sys
from pathlib import Path

from harness import (PAGE_HELPERS, XSession, E2EError, expect, expect_eq, page,
                     run_cases, wait_until)

MOCKCTL = Path(__file__).resolve().parent / "tools" / "mockctl.py"
NOTIFY_PATH = "/org/freedesktop/Notifications"
FILE_MANAGER = "org.freedesktop.FileManager1"
FILE_MANAGER_PATH = "/org/freedesktop/FileManager1"
LOGIND = "org.freedesktop.login1"
LOGIND_PATH = "/org/freedesktop/login1"
# A name that would break out of the event script if it were pasted in unescaped.
CLICK_NAME = 'say "hi" \\ there");report64({hijacked: true});("'


def mock_python() -> str:
    """A Python that has python-dbusmock: Debian's lives with the system Python."""
    for candidate in (sys.executable, "/usr/bin/python3"):
        if subprocess.run([candidate, "-c", "import dbusmock"], capture_output=True).returncode == 0:
            return candidate
    raise E2EError("python3-dbusmock is not installed")


def config_script(values: dict) -> str:
    """The test's values as a script constant C (safe inside <script>)."""
    return "<script>const C = " + json.dumps(values).replace("</", "<\\/") + ";</script>"


# The page reports in base64: a document title collapses runs of blanks, and the titles and
# texts under test are full of them (and of quotes).
REPORT64 = r"""
<script>
function report64(obj) {
  const bytes = new TextEncoder().encode(JSON.stringify(obj));
  document.title = "RESULT64:" + btoa(String.fromCharCode(...bytes));
}
</script>
"""
RESULT64 = "RESULT64:"


def page_state(session: XSession, wid: int) -> dict | None:
    title = session.title(wid)
    if not title.startswith(RESULT64):
        return None
    try:
        return json.loads(base64.b64decode(title[len(RESULT64):]).decode("utf-8"))
    except ValueError:
        raise E2EError(f"the page reported no JSON: {title!r}") from None


def wait_stage(session: XSession, app, wid: int, stage: int, timeout: float = 40) -> dict:
    def check() -> dict | None:
        if not app.running():
            raise E2EError(f"the runtime ended; output:\n{app.output()}")
        state = page_state(session, wid)
        return state if state and state.get("stage") == stage else None

    try:
        return wait_until(check, timeout, f"stage {stage} of the page")  # type: ignore
    except E2EError as error:
        raise E2EError(f"{error}; the page shows {session.title(wid)!r}; output:\n"
                       f"{app.output()}") from None


class Mocks:
    """python-dbusmock services on the case's session bus and on a private system bus."""

    def __init__(self, session: XSession):
        self.session = session
        self.python = mock_python()
        self.session_bus = session.env["DBUS_SESSION_BUS_ADDRESS"]
        self.system_bus = self._private_system_bus()

    def _private_system_bus(self) -> str:
        folder = Path(session_root(self.session)) / "system-bus"
        folder.mkdir()
        proc = self.session._helper(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                     "--print-address=1", f"--address=unix:dir={folder}"],
                                    stdout=subprocess.PIPE)
        assert proc.stdout is not None
        if not select.select([proc.stdout], [], [], 20)[0]:
            raise E2EError("the private system bus did not report its address")
        address = proc.stdout.readline().decode().strip()
        # Never the machine's own bus: the logind calls below must reach the mock only.
        expect(str(folder) in address, f"unexpected system bus address {address!r}")
        # Everything the case starts from now on (the mocks, the runtime) sees only this one.
        self.session.env["DBUS_SYSTEM_BUS_ADDRESS"] = address
        return address

    def start(self, bus: str, name: str, *args: str) -> None:
        self.session._helper([self.python, "-m", "dbusmock", *args])
        address = self.session_bus if bus == "session" else self.system_bus
        wait_until(lambda: self.ctl(address, name, "/", "owned", check=False).returncode == 0,
                   20, f"the mock {name}")

    def ctl(self, address: str, dest: str, path: str, *args: str,
            check: bool = True) -> subprocess.CompletedProcess:
        return self.session.run([self.python, str(MOCKCTL), address, dest, path, *args],
                                timeout=20, check=check)

    def calls(self, address: str, dest: str, path: str, method: str) -> list:
        return json.loads(self.ctl(address, dest, path, "calls", method).stdout)


def session_root(session: XSession) -> Path:
    assert session.root is not None
    return session.root


DESKTOP_PAGE = page("<p>desktop services</p>" + PAGE_HELPERS + REPORT64 + r"""
<script>
const clicks = [];
vlx.events.onNotificationClick = (name) => {
  clicks.push(name);
  if (clicks.length === 1) refusals().catch((e) => report64({stage: 2, error: String(e)}));
};
async function run() {
  const r = {stage: 1};
  // The second is sent before the first is answered: it must still replace the first.
  [r.n1, r.n2] = await Promise.all([
    settle(vlx.system.notification({name: C.name, title: "First", body: "one"}), 10000),
    settle(vlx.system.notification({name: C.name, title: "Second", body: "two"}), 10000)]);
  r.n3 = await settle(vlx.system.notification({name: "other", title: "Third"}), 10000);
  r.logoff = await settle(vlx.system.logoff(), 10000);
  r.reboot = await settle(vlx.system.reboot(), 10000);
  r.shutdown = await settle(vlx.system.shutdown(), 10000);
  r.explore = await settle(vlx.shell.explore({filePath: C.explored}), 10000);
  r.exploreEmpty = await settle(vlx.shell.explore({filePath: ""}), 5000);
  report64(r);
}
async function refusals() {
  const r = {stage: 2, clicks};
  r.reboot = await settle(vlx.system.reboot(), 10000);
  r.shutdown = await settle(vlx.system.shutdown(), 10000);
  await new Promise((done) => setTimeout(done, 300));  // a stray second click would show here
  r.clicks = clicks.slice();
  report64(r);
}
run().catch((e) => report64({stage: 1, error: String(e)}));
</script>""")


def desktop_services(args, artifacts: Path) -> None:
    with XSession("shell-desktop", artifacts, args.bin_dir) as session:
        mocks = Mocks(session)
        mocks.start("session", "org.freedesktop.Notifications", "--template",
                    "notification_daemon")
        mocks.start("session", FILE_MANAGER, FILE_MANAGER, FILE_MANAGER_PATH, FILE_MANAGER)
        mocks.ctl(mocks.session_bus, FILE_MANAGER, FILE_MANAGER_PATH, "method", "",
                  "ShowItems", "ass", "", "")
        mocks.start("system", LOGIND, "--system", "--template", "logind")
        mocks.ctl(mocks.system_bus, LOGIND, LOGIND_PATH, "addsession", "c7", "seat0", "1000",
                  "user")

        explored = artifacts / "shown file.txt"
        explored.write_text("x")
        exe = session.make_app("desktop", {"ID": "E2EShellDesktop", "Name": "Shell Desktop",
                                           "DynamicAppTitle": 1},
                               {"index.html": DESKTOP_PAGE.replace(
                                   "<p>", config_script({"name": CLICK_NAME,
                                                         "explored": str(explored)}) + "<p>", 1)})
        app = session.launch(exe, env={"XDG_SESSION_ID": "c7"})
        wid = app.wait_window()
        first = wait_stage(session, app, wid, 1)
        ok = {"state": "resolved", "value": True}
        expect_eq({k: first.get(k) for k in ("n1", "n2", "n3", "logoff", "reboot", "shutdown",
                                              "explore")},
                  {k: ok for k in ("n1", "n2", "n3", "logoff", "reboot", "shutdown", "explore")},
                  "the first answers")
        expect_eq(first.get("exploreEmpty"), {"state": "rejected", "value": "Missing filePath"},
                  "explore without a path")

        # The second notification of a name replaces the first; another name gets its own.
        notes = mocks.calls(mocks.session_bus, "org.freedesktop.Notifications", NOTIFY_PATH,
                            "Notify")
        expect_eq(len(notes), 3, "Notify calls")
        expect_eq([n[0] for n in notes], ["Shell Desktop"] * 3, "application names")
        expect_eq([n[1] for n in notes], [0, 1, 0], "replaces_id of each notification")
        expect_eq([(n[3], n[4]) for n in notes], [("First", "one"), ("Second", "two"),
                                                 ("Third", "")], "titles and bodies")
        expect(all("default" in n[5][::2] for n in notes), f"no default action: {notes}")

        expect_eq(mocks.calls(mocks.system_bus, LOGIND, LOGIND_PATH, "Reboot"), [[True]],
                  "Reboot calls")
        expect_eq(mocks.calls(mocks.system_bus, LOGIND, LOGIND_PATH, "PowerOff"), [[True]],
                  "PowerOff calls")
        expect_eq(mocks.calls(mocks.system_bus, LOGIND, LOGIND_PATH + "/session/c7",
                              "Terminate"), [[]], "Terminate calls of the session")
        expect_eq(mocks.calls(mocks.session_bus, FILE_MANAGER, FILE_MANAGER_PATH, "ShowItems"),
                  [[[explored.as_uri()], ""]], "ShowItems calls")

        # logind refuses from now on; a click on the first notification starts the page's
        # second round. An action other than the default one is no click.
        for method, text in (("Reboot", "Rebooting is not allowed now."),
                             ("PowerOff", "Access denied")):
            mocks.ctl(mocks.system_bus, LOGIND, LOGIND_PATH, "method",
                      "org.freedesktop.login1.Manager", method, "b", "",
                      f"raise dbus.exceptions.DBusException({text!r}, "
                      "name='org.freedesktop.DBus.Error.AccessDenied')")
        mocks.ctl(mocks.session_bus, "org.freedesktop.Notifications", NOTIFY_PATH, "emit",
                  "org.freedesktop.Notifications", "ActionInvoked", "us", json.dumps([1, "more"]))
        mocks.ctl(mocks.session_bus, "org.freedesktop.Notifications", NOTIFY_PATH, "emit",
                  "org.freedesktop.Notifications", "ActionInvoked", "us",
                  json.dumps([1, "default"]))
        second = wait_stage(session, app, wid, 2)
        expect_eq(second.get("clicks"), [CLICK_NAME], "the names the page's event received")
        expect_eq(second.get("reboot"), {"state": "rejected",
                                         "value": "Rebooting is not allowed now"}, "refused reboot")
        expect_eq(second.get("shutdown"), {"state": "rejected", "value": "Access denied"},
                  "refused shutdown")
        session.screenshot(artifacts / "desktop.png")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code")


# Results that match what the test expects (C.want) are reported as "ok", others in full, so
# that the report stays short enough for a window title.
COMMANDS_PAGE = page("<p>commands and windows</p>" + PAGE_HELPERS + REPORT64 + r"""
<script>
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
async function run() {
  const got = {};
  const command = (args, ms) => settle(vlx.shell.command(args), ms || 10000);
  // A long command runs on while other calls are answered.
  const slow = command({command: "sleep 3; echo slept"}, 20000);
  // One that never ends by itself: the application's end ends it, with its child.
  vlx.shell.command({command: C.leftover});
  got.helloMeanwhile = (await settle(vlx.hello(), 1500)).state;
  got.big = await command({command: C.big});
  got.merged = await command({command: "echo out; echo err >&2; echo out2"});
  got.pwdIn = await command({command: "pwd", workingDir: C.folder, showWindow: true});
  got.pwd = await command({command: "pwd"});
  got.latin1 = await command({command: "printf 'caf\\351'"});
  got.missing = await command({command: ""});
  const notFound = await command({command: "velloc-no-such-command-here"});
  got.notFound = notFound.state === "resolved" && /not found/.test(notFound.value) || notFound;
  got.slow = await slow;
  got.executeMissing = await settle(vlx.shell.execute({filePath: C.missingFile}), 5000);
  got.executeProgram = await settle(vlx.shell.execute({filePath: "touch", arguments: C.touchArgs}), 5000);
  got.executeBadArgs = (await settle(vlx.shell.execute({filePath: "/bin/true", arguments: "'open"}), 5000)).state;
  // A document with an execute bit is opened (refused where no application takes text), never
  // run: the test looks for what running it would have made.
  const documentState = (await settle(vlx.shell.execute({filePath: C.document}), 5000)).state;
  got.executeDocument = documentState === "resolved" || documentState === "rejected" || documentState;
  const windows = await settle(vlx.shell.windows(), 5000);
  got.windowsPadded = windows.state === "resolved" && windows.value.includes("  Padded Title  ") || windows;
  got.windowsBlank = windows.state === "resolved" && windows.value.filter((t) => !t.trim());
  const macs = await settle(vlx.system.macAddresses(), 5000);
  got.macs = macs.state === "resolved" ? macs.value.slice().sort() : macs;  // the order: sysfs's
  const r = {stage: 1};
  for (const [name, value] of Object.entries(got)) r[name] = same(value, C.want[name]) ? "ok" : value;
  report64(r);
}
run().catch((e) => report64({stage: 1, error: String(e)}));
</script>""")


def expected_macs() -> list[str]:
    """What the system lists, read from sysfs: the hardware addresses that are not all zero."""
    entries = []
    for link in sorted(Path("/sys/class/net").iterdir()):
        try:
            address = (link / "address").read_text().strip().upper()
            kind = (link / "type").read_text().strip()
        except OSError:
            continue
        octets = (address.split(":") + ["00"] * 6)[:6]
        if not address or all(o == "00" for o in octets):
            continue
        letter = ("W" if (link / "wireless").exists() else "E") if kind == "1" else "U"
        entries.append(letter + "," + ":".join(octets))
    return sorted(entries)


def leftover_command(pid_file: Path) -> str:
    """A command that runs until it is ended, with a child; both ids go to `pid_file`."""
    return f"echo $$ > '{pid_file}'; sleep 1000 & echo $! >> '{pid_file}'; wait"


def processes_ended(pid_file: Path) -> None:
    """Every process named in `pid_file` has ended (or is a zombie waiting to be reaped)."""
    pids = [int(p) for p in pid_file.read_text().split()]
    expect_eq(len(pids), 2, f"processes in {pid_file}")

    def ended(pid: int) -> bool:
        try:
            stat = Path(f"/proc/{pid}/stat").read_text()
        except OSError:
            return True
        return stat[stat.rindex(")") + 2] == "Z"

    wait_until(lambda: all(ended(p) for p in pids), 10, f"the command's processes {pids} to end")


def commands_and_windows(args, artifacts: Path) -> None:
    with XSession("shell-commands", artifacts, args.bin_dir) as session:
        session._helper(["xmessage", "-title", "  Padded Title  ", "padded"])
        session._helper(["xmessage", "-title", "   ", "blank"])
        wait_until(lambda: len(session.x("xdotool", "search", "--onlyvisible", "--class",
                                         "xmessage", check=False).split()) == 2,
                   20, "the xmessage windows")

        folder = artifacts / "work folder"
        folder.mkdir()
        touched = artifacts / "started by 'execute'"
        tail = 'end "q" \\ b\n'
        document, ran = artifacts / "notes.txt", artifacts / "document ran"
        document.write_text(f"touch '{ran}'\n")
        document.chmod(0o755)
        leftover = artifacts / "leftover pids"

        def ok(value):
            return {"state": "resolved", "value": value}

        want = {
            "helloMeanwhile": "resolved",
            "big": ok("x" * 70000 + tail),
            "merged": ok("out\nerr\nout2\n"),
            "pwdIn": ok(f"{folder}\n"),
            "pwd": ok(f"{os.getcwd()}\n"),
            "latin1": ok("caf\u00e9"),
            "missing": {"state": "rejected", "value": "Missing command"},
            "notFound": True,
            "slow": ok("slept\n"),
            "executeMissing": {"state": "rejected", "value": "No such file or directory"},
            "executeProgram": ok(True),
            "executeBadArgs": "rejected",
            "executeDocument": True,
            "windowsPadded": True,
            "windowsBlank": [],
            "macs": expected_macs(),
        }
        config = {
            "big": "head -c 70000 /dev/zero | tr '\\0' x; printf '%s\\n' 'end \"q\" \\ b'",
            "folder": str(folder),
            "missingFile": str(artifacts / "no such file.txt"),
            "touchArgs": '"' + str(touched).replace('"', '\\"') + '"',
            "document": str(document),
            "leftover": leftover_command(leftover),
            "want": want,
        }
        exe = session.make_app("commands", {"ID": "E2EShellCommands", "Name": "Shell Commands",
                                            "DynamicAppTitle": 1},
                               {"index.html": COMMANDS_PAGE.replace(
                                   "<p>", config_script(config) + "<p>", 1)})
        app = session.launch(exe)
        wid = app.wait_window()
        r = wait_stage(session, app, wid, 1, timeout=60)
        wrong = {k: v for k, v in r.items() if k != "stage" and v != "ok"}
        expect(not wrong and set(r) == set(want) | {"stage"},
               f"unexpected answers: {wrong}; answered: {sorted(r)}")
        wait_until(touched.exists, 10, f"the program to create {touched}")
        expect(not ran.exists(), "the document was run as a script")
        session.screenshot(artifacts / "commands.png")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code")
        processes_ended(leftover)


LEFTOVER_PAGE = page("<p>leftover</p>" + r"""
<script>
vlx.shell.command({command: C.leftover});
document.title = "started";
</script>""")


def commands_end_with_a_signal(args, artifacts: Path) -> None:
    """Ended by a signal (the session ends, Ctrl+C), the application ends its commands too."""
    with XSession("shell-signal", artifacts, args.bin_dir) as session:
        leftover = artifacts / "leftover pids"
        exe = session.make_app("signal", {"ID": "E2EShellSignal", "Name": "Shell Signal",
                                          "DynamicAppTitle": 1},
                               {"index.html": LEFTOVER_PAGE.replace(
                                   "<p>", config_script({"leftover": leftover_command(leftover)})
                                   + "<p>", 1)})
        app = session.launch(exe)
        wid = app.wait_window()
        session.wait_title(wid, lambda t: t == "started")
        wait_until(lambda: leftover.exists() and len(leftover.read_text().split()) == 2, 10,
                   "the command to start")
        os.kill(app.pid, signal.SIGTERM)
        expect_eq(app.wait(20), -signal.SIGTERM, "end by the signal")
        processes_ended(leftover)


CASES = {"desktop_services": desktop_services, "commands_and_windows": commands_and_windows,
         "commands_end_with_a_signal": commands_end_with_a_signal}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
