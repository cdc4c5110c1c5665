#!/usr/bin/env python3
"""The Windows runtime as a whole, under Wine: applications packed by `velloc pack --target
windows` onto velloc-standin.exe (the runtime's own entry code with a stand-in web view) run the
shared bridge cases (tests/shared/bridge_cases.json), one Wine process per group, and the
start-ups that only a whole run shows: the password form typed through Win32 messages, a
second start with AllowInstances=0, further instances from window.open and from the command
line, the close protocol, the module extracted once and repaired; a URL scheme and a file type
registered for the user, and a later start reaching the first; the Win32 services read back
through Win32 (win32_parity.py); an update installed from a server on this machine (the running
executable renamed aside and replaced, the restart into the new version) and the roll-back of a
version that does not come up.

Run by CTest inside a private X display (tests/windows/xvfb-wine.sh) with the shared
wineserver's WINEPREFIX; by hand:
  tests/windows/xvfb-wine.sh python3 tests/windows/e2e/test_whole_program.py \\
      --standin build/windows/tests/windows/e2e/velloc-standin.exe \\
      --loader build/windows/bin/WebView2LoaderWin64.dll --velloc build/release/bin/velloc \\
      --wine /usr/lib/wine/wine64 --work-dir /tmp/whole [GROUP...]
Python standard library only.
"""

from __future__ import annotations

import argparse
import json
import os
import shutil
import subprocess
import sys
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "shared"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

import bridge_cases  # noqa: E402
import update_server  # noqa: E402
import win32_parity  # noqa: E402

SKIP = 77
# The applications live below a folder named beyond ASCII (and beyond any one ANSI code page):
# every path of the runtime, its package and the files beside it passes through that name.
APPS_FOLDER = "Jos\u00e9 \u20ac \u4e2d"
EXE_NAME = "app.exe"
DESKTOP = "velloc-whole-program"
VERSION = "2026.10"


class Failure(AssertionError):
    pass


def windows_path(path: Path) -> str:
    """The name Wine gives a file of the build machine: drive Z: is its root."""
    return "Z:" + str(path.resolve()).replace("/", "\\")


def page(title: str, body: str = "") -> str:
    return (f"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>{title}</title></head>"
            f"<body>{body}</body></html>\n")


class Runner:
    def __init__(self, args: argparse.Namespace):
        self.args = args
        self.env = dict(os.environ)
        self.env.setdefault("WINEDEBUG", "-all")
        self.prefix = Path(self.env["WINEPREFIX"])
        self.root = args.work_dir.resolve() / APPS_FOLDER
        self.failures: list[str] = []
        self.timings: list[tuple[str, float]] = []

    # ---- building and running

    def pack(self, name: str, ini: dict, files: dict[str, str | bytes],
             webviewjs: str | None = None, sections: dict[str, dict] | None = None) -> Path:
        source = self.args.work_dir.resolve() / "sources" / name
        shutil.rmtree(source, ignore_errors=True)
        (source / "app").mkdir(parents=True)
        lines = ["[App]", "DirName=app"] + [f"{k}={v}" for k, v in ini.items()]
        for section, keys in (sections or {}).items():
            lines += [f"[{section}]"] + [f"{k}={v}" for k, v in keys.items()]
        # With a byte-order mark: without one, Windows reads the file in its ANSI code page.
        (source / "vlx.ini").write_text("\n".join(lines) + "\n", encoding="utf-8-sig")
        if webviewjs is not None:
            (source / "vlx-webviewjs").write_text(webviewjs, encoding="utf-8")
        for relative, content in files.items():
            path = source / "app" / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            if isinstance(content, bytes):
                path.write_bytes(content)
            else:
                path.write_text(content, encoding="utf-8")
        folder = self.root / name
        if folder.exists():
            for path in folder.rglob("*"):
                path.chmod(0o755 if path.is_dir() else 0o644)
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        exe = folder / EXE_NAME
        subprocess.run([str(self.args.velloc), "pack", str(source), "-o", str(exe), "--target",
                        "windows", "--runtime", str(self.args.standin), "--module",
                        str(self.args.loader), "--quiet"], check=True, timeout=60)
        return exe

    def run(self, exe: Path, script: dict, what: str, timeout: float = 120) -> list[dict]:
        """Runs the packed executable once with the script; answers the results of every
        stand-in process it started (itself first), once they have all finished."""
        out = exe.parent / "results"
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir()
        script_file = exe.parent / "script.json"
        script_file.write_text(json.dumps(script), encoding="utf-8")
        env = dict(self.env, VELLOC_STANDIN_SCRIPT=windows_path(script_file),
                   VELLOC_STANDIN_OUT=windows_path(out))
        start = time.monotonic()
        # Output to a file, never a pipe: Wine's own processes (the desktop, services) inherit
        # it and outlive the program.
        log = exe.parent / "output.log"
        with open(log, "wb") as output:
            subprocess.run([str(self.args.wine), str(exe)], env=env, timeout=timeout,
                           stdin=subprocess.DEVNULL, stdout=output, stderr=output)
        self.timings.append((what, time.monotonic() - start))
        text = log.read_text(errors="replace").strip()
        if text:
            print(f"     ({what}: output: {text[-2000:]})")
        results = self.read_results(out, expected=script.get("expectProcesses", 1))
        # The process Wine started first: no arguments, and started by no other stand-in.
        spawned = {s.get("pid") for r in results for s in r.get("steps", [])}
        results.sort(key=lambda r: bool(r.get("args")) or r.get("pid") in spawned)
        if results and results[0].get("watchdog"):
            raise Failure(f"{what}: the script did not finish in time: {results[0]}")
        return results

    @staticmethod
    def read_results(out: Path, expected: int, timeout: float = 30) -> list[dict]:
        """The results files once `expected` processes have written their exit code."""
        deadline = time.monotonic() + timeout
        while True:
            results = []
            for path in sorted(out.glob("results-*.json")):
                try:
                    results.append(json.loads(path.read_text(encoding="utf-8")))
                except ValueError:
                    pass
            done = [r for r in results if "exitCode" in r or r.get("watchdog")]
            if len(done) >= expected or time.monotonic() > deadline:
                return results
            time.sleep(0.1)

    def expect(self, condition: bool, message: str) -> None:
        if not condition:
            self.failures.append(message)

    # ---- the shared cases

    def shared_group(self, group: bridge_cases.Group) -> None:
        files = {"index.html": page(group.name, "<p>shared cases</p>")}
        files.update(group.package)
        ini = dict(group.ini)
        exe = self.pack(group.name, ini, files)
        for relative, text in group.files.items():
            path = exe.parent / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
        for relative in group.read_only:
            (exe.parent / relative).chmod(0o444)
        context = bridge_cases.context_for("windows", windows_path(exe), ini["Name"])
        group = next(g for g in bridge_cases.load("windows", context) if g.name == group.name)
        steps = []
        for case in group.cases:
            if case.delay_ms:
                steps.append({"sleepMs": case.delay_ms})
            if case.kind == "post":
                step = {"post": case.send, "waitMs": case.wait_ms, "case": case.name}
                if case.answer:
                    step["answer"] = case.answer
                steps.append(step)
            else:
                steps.append({"fetch": case.uri, "case": case.name})
        steps.append({"closeWindow": True})
        results = self.run(exe, {"pages": {"file:///index.html": steps}}, f"group {group.name}")
        self.expect(bool(results), f"{group.name}: the runtime wrote no results")
        if not results:
            return
        main = results[0]
        self.expect(main.get("exitCode") == 0, f"{group.name}: exit code {main.get('exitCode')}")
        self.expect(main.get("scriptFinished") is True, f"{group.name}: the script did not end")
        replies = self.replies(main)
        by_step = {s["index"]: s for s in main.get("steps", [])}
        uuids = set()
        outcomes = []
        index = -1
        for case in group.cases:
            if case.delay_ms:
                index += 1
            index += 1
            if case.kind == "post":
                if case.uuid:
                    uuids.add(case.uuid)
                reply = replies.get(case.uuid) if case.uuid else None
                outcomes.append((case, bridge_cases.check_reply(case, reply)))
            else:
                step = by_step.get(index, {})
                response = step.get("response")
                answered = response if response and response.get("answered") else None
                outcomes.append((case, bridge_cases.check_response(case, answered)))
        self.failures += bridge_cases.report(group, outcomes)
        stray = [r for u, r in replies.items() if u not in uuids and not u.startswith("close-")]
        self.expect(not stray, f"{group.name}: replies nobody asked for: {stray}")
        self.failures += bridge_cases.check_files(group, exe.parent)
        passed = sum(1 for _, problem in outcomes if problem is None)
        print(f"     {group.name}: {passed}/{len(outcomes)} cases as the table says")

    def replies(self, result: dict) -> dict[str, dict]:
        """The parsed replies by uuid; a second answer to one message or a reply that is not
        JSON is a failure of its own."""
        out: dict[str, dict] = {}
        for entry in result.get("replies", []):
            self.expect(entry.get("valid", False), f"a reply that is not JSON: {entry['text']!r}")
            self.expect(not entry.get("again"), f"a second reply to one message: {entry['text']!r}")
            try:
                parsed = json.loads(entry["text"])
            except ValueError:
                continue
            # The reply's exact text, as the bridge formats it.
            expected_text = (f"{{\"uuid\": \"{parsed.get('uuid')}\", \"success\": "
                             f"{json.dumps(parsed.get('success'))}, \"result\": ")
            self.expect(entry["text"].startswith(expected_text),
                        f"a reply not in the bridge's format: {entry['text']!r}")
            out.setdefault(str(parsed.get("uuid")), parsed)
        return out

    # ---- start-ups

    def startups(self) -> None:
        app_id = "StandInStartups"
        name = "Start-ups \u00e9"
        webviewjs = "window.fromThePackage = 1;"
        files = {"index.html": page("The first page"), "page2.html": page("Page two"),
                 "page3.html": page("Page three")}
        exe = self.pack("startups", {"ID": app_id, "Name": name, "Password": "Secret",
                                     "AllowInstances": 0, "DynamicAppTitle": 1}, files,
                        webviewjs=webviewjs)
        exe_win = windows_path(exe)

        def post(uuid: str, fid: int, data: dict | None = None) -> dict:
            return {"post": {"id": fid, "uuid": uuid, "data": data or {}}, "waitMs": 10000}

        main_steps = [
            post("title", 60005),
            post("args", 50005),
            {"permission": "camera"},
            {"moveWindow": [120, 90]},
            # A second plain start: the password form again (typed by its own stand-in), then
            # the instance rule ends it.
            {"spawn": {"args": [], "waitMs": 30000}},
            # The application's ID alone skips the password and still ends.
            {"spawn": {"args": [app_id], "waitMs": 30000}},
            # Another letter case of the ID is not the ID: the password form shows.
            {"spawn": {"args": [app_id.lower()], "waitMs": 30000}},
            # The ID and a page run a second instance on that page.
            {"spawn": {"args": [app_id, "file:///page2.html"], "waitMs": 30000}},
            # window.open of a package page starts one more, through the runtime.
            {"newWindow": "file:///page3.html"},
            {"newWindow": "https://example.com/"},
            # A page that keeps its window open when asked to close.
            {"pageCloseQuery": "ignore"},
            {"closeWindow": True},
            {"sleepMs": 500},
            post("alive", 10001),
            {"pageCloseQuery": "close"},
            {"closeWindow": True},
        ]
        second_steps = [post("args2", 50005), {"closeWindow": True}]
        script = {"pages": {"file:///index.html": main_steps, "file:///page2.html": second_steps,
                            "file:///page3.html": second_steps},
                  "password": {"type": "Secrex\bt"}, "expectProcesses": 6}
        results = self.run(exe, script, "password and instances")
        main = results[0] if results else {}
        self.expect(main.get("exitCode") == 0, f"start-ups: exit code {main.get('exitCode')}")
        self.expect(main.get("passwordForm", {}).get("shown") is True,
                    "start-ups: no password form was shown")
        self.expect(main.get("passwordForm", {}).get("caption") == name,
                    f"start-ups: the password form's caption: {main.get('passwordForm')}")
        self.expect(main.get("webViewCreated") is True,
                    "start-ups: the typed password did not open the application")
        replies = self.replies(main)
        self.expect(replies.get("title", {}).get("result") == "The first page",
                    f"start-ups: DynamicAppTitle: {replies.get('title')}")
        self.expect(replies.get("args", {}).get("result") == [exe_win],
                    f"start-ups: getArgs {replies.get('args')}")
        self.expect(replies.get("alive", {}).get("result") == VERSION,
                    "start-ups: the window closed although the page kept it open")
        executed = main.get("executed", [])
        self.expect(executed.count("vlx.events.onCloseQuery();") == 2,
                    f"start-ups: close queries the page saw: {executed}")
        scripts = main.get("documentScripts", [])
        self.expect(len(scripts) == 1 and "window.vlx" in scripts[0] and webviewjs in scripts[0]
                    and "dragover" in scripts[0],
                    f"start-ups: the document scripts: {[s[:80] for s in scripts]}")
        navigation = (main.get("navigations") or [{}])[0]
        self.expect(navigation.get("uri") == "https://velloc.localhost/index.html" and
                    navigation.get("mimeType", "").split(";")[0] == "text/html" and
                    "The first page" in navigation.get("body", ""),
                    f"start-ups: the start page: {navigation}")
        self.expect(main.get("parentMoved", 0) >= 1, "start-ups: the web view was not told of a move")
        steps = {s["index"]: s for s in main.get("steps", [])}
        self.expect(steps.get(2, {}).get("state") == "allow",
                    f"start-ups: the camera for the application's page: {steps.get(2)}")
        spawned = [steps.get(i, {}) for i in (4, 5, 6, 7)]
        for step, what in zip(spawned, ("a plain second start", "a start with the ID alone",
                                        "a start with the ID in other letter case",
                                        "a start with the ID and a page")):
            self.expect(step.get("exitCode") == 0 and not step.get("stillRunning"),
                        f"start-ups: {what}: {step}")
        self.expect(steps.get(8, {}).get("handled") is True,
                    f"start-ups: window.open of a package page: {steps.get(8)}")
        self.expect(steps.get(9, {}).get("handled") is False,
                    f"start-ups: window.open of a web page: {steps.get(9)}")
        by_pid = {r.get("pid"): r for r in results}
        children = {what: by_pid.get(step.get("pid"), {}) for step, what in
                    zip(spawned, ("plain", "id", "other case", "page"))}
        self.expect(children["plain"].get("passwordForm", {}).get("shown") is True and
                    not children["plain"].get("webViewCreated"),
                    f"start-ups: the plain second start: {children['plain']}")
        self.expect("passwordForm" not in children["id"] and
                    not children["id"].get("webViewCreated"),
                    f"start-ups: the start with the ID alone: {children['id']}")
        self.expect(children["other case"].get("passwordForm", {}).get("shown") is True,
                    f"start-ups: the start with the ID in other letter case: "
                    f"{children['other case']}")
        for page_name, child in (("page2", children["page"]),
                                 ("page3", next((r for r in results if r.get("startPage") ==
                                                 "file:///page3.html"), {}))):
            uri = f"file:///{page_name}.html"
            self.expect(child.get("startPage") == uri and "passwordForm" not in child,
                        f"start-ups: the instance of {page_name}: {child}")
            got = self.replies(child).get("args2", {}).get("result")
            self.expect(got == [exe_win, app_id, uri], f"start-ups: getArgs of {page_name}: {got}")

        # The loader library is extracted once and then left as it is.
        library = main.get("loaderLibrary", {})
        self.expect(library.get("exists") is True, f"start-ups: the loader library: {library}")
        unix = self.unix_path(library.get("path", ""))
        first = unix.stat().st_mtime_ns if unix and unix.exists() else None

        # Cancel: the form closed without the password ends the process, exit code 0.
        results = self.run(exe, {"password": {"type": "secret", "close": True}}, "password cancel")
        main = results[0] if results else {}
        self.expect(main.get("exitCode") == 0, f"cancel: exit code {main.get('exitCode')}")
        self.expect(main.get("passwordForm", {}).get("shown") is True, "cancel: no password form")
        self.expect(not main.get("webViewCreated"), "cancel: the application opened anyway")
        again = unix.stat().st_mtime_ns if unix and unix.exists() else None
        self.expect(first is not None and first == again,
                    f"start-ups: the loader library was written again ({first} then {again})")

        # Damaged, it is written whole again at the next start, through a file of its own.
        if unix and unix.exists():
            unix.write_bytes(b"damaged")
            self.run(exe, {"password": {"type": "secret", "close": True}}, "loader repaired")
            self.expect(unix.read_bytes() == self.args.loader.read_bytes(),
                        "start-ups: the damaged loader library was not repaired")
            leftovers = [p.name for p in unix.parent.iterdir() if p.name.startswith(".")]
            self.expect(not leftovers, f"start-ups: files left beside the library: {leftovers}")

    # ---- the desktop: URL schemes, file types and a second start

    def desktop(self) -> None:
        """An application with a URL scheme and a file type: its first start registers both for
        the user; a second start hands its arguments to the first, which comes forward and tells
        its page, and ends with code 0 without a window of its own."""
        app_id = "StandInDesktop"
        scheme = "velloc-e2e"
        prog_id = f"{app_id}.file.vlxe"
        exe = self.pack("desktop", {"ID": app_id, "Name": "Desktop", "AllowInstances": 0},
                        {"index.html": page("Desktop")},
                        sections={"Desktop": {"Schemes": scheme, "FileTypes":
                                              "application/x-velloc-e2e *.vlxe Velloc e2e files"}})
        exe_win = windows_path(exe)
        # A first start: the registration of an earlier run in this Wine prefix goes first.
        root = "HKEY_CURRENT_USER\\Software\\Classes"
        forget = exe.parent / "forget.reg"
        forget.write_text("Windows Registry Editor Version 5.00\n\n" + "".join(
            f"[-{root}\\{key}]\n\n" for key in (scheme, ".vlxe", prog_id)), encoding="utf-8")
        subprocess.run([str(self.args.wine), "regedit", "/S", windows_path(forget)], env=self.env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        self.expect(f"{root}\\{scheme}".lower() not in self.exported_keys(root, exe.parent),
                    "desktop: the scheme of an earlier run could not be removed")
        classes = "Software\\Classes\\"
        later_args = [f"{scheme}://open?x=1", "C:\\Users\\Jos\u00e9\\a b.vlxe"]

        def post(uuid: str, fid: int, data: dict) -> dict:
            return {"post": {"id": fid, "uuid": uuid, "data": data}, "waitMs": 10000}

        steps = [
            # What the first start registered, read back through the page's registry functions.
            post("protocol", 13003, {"key": classes + scheme, "name": "URL Protocol"}),
            post("type", 13002, {"key": classes + ".vlxe", "name": "Content Type"}),
            post("openwith", 13003, {"key": classes + ".vlxe\\OpenWithProgids", "name": prog_id}),
            post("minimize", 60004, {"state": "minimized"}),
            {"spawn": {"args": later_args, "waitMs": 20000}},
            {"awaitScript": "vlx.events.onSecondInstance(", "waitMs": 10000},
            {"probe": "window"},
            {"closeWindow": True},
        ]
        results = self.run(exe, {"pages": {"file:///index.html": steps}, "expectProcesses": 2},
                           "desktop")
        main = results[0] if results else {}
        self.expect(main.get("exitCode") == 0, f"desktop: exit code {main.get('exitCode')}")
        replies = self.replies(main)
        for uuid, expected in (("protocol", True), ("type", "application/x-velloc-e2e"),
                               ("openwith", True)):
            self.expect(replies.get(uuid, {}).get("result") == expected,
                        f"desktop: registered {uuid}: {replies.get(uuid)}")
        by_index = {s["index"]: s for s in main.get("steps", [])}
        later = by_index.get(4, {})
        self.expect(later.get("exitCode") == 0 and not later.get("stillRunning"),
                    f"desktop: the second start: {later}")
        child = next((r for r in results if r.get("pid") == later.get("pid")), {})
        self.expect(child.get("args") == later_args and not child.get("webViewCreated"),
                    f"desktop: the second start opened a window: {child}")
        self.expect(by_index.get(5, {}).get("seen") is True, "desktop: no onSecondInstance")
        told = [s for s in main.get("executed", []) if "onSecondInstance" in s]
        prefix, suffix = "vlx.events.onSecondInstance(", ");"
        self.expect(len(told) == 1 and told[0].startswith(prefix) and told[0].endswith(suffix)
                    and json.loads(told[0][len(prefix):-len(suffix)]) == later_args,
                    f"desktop: the page was told {told}")
        window = by_index.get(6, {}).get("probe", {})
        self.expect(window.get("visible") is True and window.get("minimized") is False,
                    f"desktop: the first window did not come forward: {window}")

        # The registry as Explorer and the browsers read it.
        exported = self.exported_keys(root, exe.parent)
        command = f'"{exe_win}" "%1"'
        icon = f'"{exe_win}",0'
        expected = {
            scheme: {"": "URL:Desktop", "URL Protocol": ""},
            f"{scheme}\\DefaultIcon": {"": icon},
            f"{scheme}\\shell\\open\\command": {"": command},
            ".vlxe": {"": prog_id, "Content Type": "application/x-velloc-e2e"},
            ".vlxe\\OpenWithProgids": {prog_id: ""},
            prog_id: {"": "Velloc e2e files"},
            f"{prog_id}\\DefaultIcon": {"": icon},
            f"{prog_id}\\shell\\open\\command": {"": command},
        }
        for key, values in expected.items():
            got = exported.get(f"{root}\\{key}".lower())
            self.expect(got == values, f"desktop: the registry key {key}: {got}")

    def exported_keys(self, root: str, folder: Path) -> dict[str, dict[str, str]]:
        """The string values of every key below `root`, as Wine's regedit exports them: key
        names in lower case, values by name ("" for the default)."""
        export = folder / "export.reg"
        export.unlink(missing_ok=True)
        subprocess.run([str(self.args.wine), "regedit", "/E", windows_path(export), root],
                       env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        keys: dict[str, dict[str, str]] = {}
        values: dict[str, str] = {}
        text = export.read_bytes().decode("utf-16") if export.exists() else ""
        for line in text.lstrip("\ufeff").splitlines():
            if line.startswith("[") and line.endswith("]"):
                values = keys.setdefault(line[1:-1].lower(), {})
            elif line.startswith(("@=\"", "\"")):
                name, _, data = line.partition("=") if line.startswith("@") else \
                    self.split_reg_line(line)
                if data.startswith("\"") and data.endswith("\""):
                    values["" if name == "@" else name] = self.unescape_reg(data[1:-1])
        return keys

    @staticmethod
    def split_reg_line(line: str) -> tuple[str, str, str]:
        """A line "name"=data of a .reg file, the name unescaped."""
        i, name = 1, []
        while i < len(line) and line[i] != "\"":
            if line[i] == "\\" and i + 1 < len(line):
                i += 1
            name.append(line[i])
            i += 1
        return "".join(name), "=", line[i + 2:]

    @staticmethod
    def unescape_reg(text: str) -> str:
        out, i = [], 0
        while i < len(text):
            if text[i] == "\\" and i + 1 < len(text):
                i += 1
            out.append(text[i])
            i += 1
        return "".join(out)

    # ---- updates

    def update(self) -> None:
        """Version 1 checks and installs version 2 from a server on this machine: the running
        executable is renamed aside, version 2 moved into its place, and the application
        restarts into it, which reports its version and confirms itself. Then a version 2 whose
        web view takes it down before its page is up replaces version 1 the same way; the next
        start puts version 1 back, which does not offer that version again."""
        server = update_server.Server()
        try:
            self.update_flow(server)
        finally:
            server.close()

    def update_flow(self, server: update_server.Server) -> None:
        keys = self.args.work_dir.resolve() / "update-keys"
        shutil.rmtree(keys, ignore_errors=True)
        keys.mkdir(parents=True)
        key = keys / "update.key"
        subprocess.run([str(self.args.velloc), "keygen", "-o", str(key)], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)
        section = {"Update": {"ManifestURL": server.base + "/manifest.json",
                              "PublicKey": (keys / "update.key.pub").read_text().strip()}}

        def pack(name: str, version: str, start: str) -> Path:
            ini = {"ID": "StandInUpdate", "Name": "Update", "Version": version, "IndexHtml": start}
            return self.pack(name, ini, {start: page(f"Version {version}")}, sections=section)

        def publish(exe: Path, path: str) -> bytes:
            server.files[path] = exe.read_bytes()
            manifest = exe.parent / "manifest.json"
            subprocess.run([str(self.args.velloc), "update-manifest", str(exe), "--url",
                            server.base + path, "--key", str(key), "--notes", "Better",
                            "-o", str(manifest)], check=True, stdout=subprocess.DEVNULL,
                           timeout=60)
            return manifest.read_bytes()

        def post(uuid: str, fid: int, wait: int = 20000) -> dict:
            return {"post": {"id": fid, "uuid": uuid, "data": {}}, "waitMs": wait}

        def by_page(results: list[dict], start: str) -> dict:
            return next((r for r in results if r.get("startPage") == f"file:///{start}"), {})

        v2 = pack("update-v2", "2.0.0", "v2.html")
        crash = pack("update-crash", "2.0.0", "crash.html")
        server.manifests = [publish(v2, "/files/v2")]
        exe = pack("update", "1.0.0", "index.html")
        v1_bytes = exe.read_bytes()
        script = {"pages": {"file:///index.html": [post("check", 50007), post("install", 50008)],
                            "file:///v2.html": [post("check2", 50007), {"closeWindow": True}]},
                  "expectProcesses": 2}
        results = self.run(exe, script, "update: install and restart")
        first, second = by_page(results, "index.html"), by_page(results, "v2.html")
        replies = self.replies(first)
        check = replies.get("check", {}).get("result", {})
        self.expect(check.get("available") is True and check.get("version") == "2.0.0" and
                    check.get("notes") == "Better", f"update: version 1's check: {check}")
        self.expect(replies.get("install", {}).get("result") is True,
                    f"update: installUpdate: {replies.get('install')}")
        self.expect(first.get("exitCode") == 0, f"update: version 1 ended with {first.get('exitCode')}")
        after = self.replies(second).get("check2", {}).get("result", {})
        self.expect(after.get("current") == "2.0.0" and after.get("available") is False,
                    f"update: the restarted application: {after} ({second})")
        self.expect(second.get("exitCode") == 0, f"update: version 2 ended with {second}")
        self.expect(exe.read_bytes() == v2.read_bytes(), "update: version 2 is not in place")
        self.expect(not (exe.parent / ".app.exe.vlx-update").exists(),
                    "update: version 2 did not confirm itself")

        # A version 2 that never comes up.
        exe.write_bytes(v1_bytes)
        server.manifests = [publish(crash, "/files/crash")]
        script["pages"] = {"file:///index.html": [post("check", 50007), post("install", 50008)],
                           "file:///crash.html": "crash"}
        results = self.run(exe, script, "update: a version that crashes")
        crashed = by_page(results, "crash.html")
        self.expect(crashed.get("crashed") is True, f"update: the crashing version: {crashed}")
        self.expect(exe.read_bytes() == crash.read_bytes(), "update: the crashing version in place")
        script["pages"] = {"file:///index.html": [post("again", 50007), {"closeWindow": True}]}
        results = self.run(exe, script, "update: the start after it")
        back = by_page(results, "index.html")
        again = self.replies(back).get("again", {}).get("result", {})
        self.expect(again.get("current") == "1.0.0" and again.get("rolledBack") is True and
                    again.get("available") is False, f"update: after the roll-back: {again}")
        self.expect(exe.read_bytes() == v1_bytes, "update: version 1 is not back in place")

    # ---- the application origin

    def origin(self) -> None:
        """What WebView2 would get for the pages of an application: the start page, a module, a
        worker, WebAssembly and a range of a video, through the backend's own answers at the
        application origin, with their statuses, headers and bytes; from a signed executable."""
        video = bytes(range(256)) * 400  # 102,400 bytes, every offset tells its value
        wasm = b"\0asm\x01\0\0\0"
        files = {"index.html": page("Origin", "<script type=module src=m.js></script>"),
                 "m.js": "import './lib/util.js'; new Worker('worker.js');\n",
                 "lib/util.js": "export const answer = 42;\n",
                 "worker.js": "onmessage = (e) => postMessage(e.data);\n",
                 "a.wasm": wasm, "media/clip.mp4": video}
        exe = self.pack("origin", {"ID": "StandInOrigin", "Name": "Origin"}, files)
        # Signed after packing, as a publisher would: the package must still be found in front
        # of the certificate table, and everything below is served from it.
        self.sign(exe)
        (exe.parent / "beside.txt").write_text("beside the executable\n", encoding="utf-8")
        app = "https://velloc.localhost"
        steps = [
            {"fetch": "file:///m.js"},
            {"fetch": f"{app}/lib/util.js", "origin": app},
            {"fetch": "file:///worker.js"},
            {"fetch": "file:///a.wasm"},
            {"fetch": "file:///media/clip.mp4", "range": "bytes=1000-1999"},
            {"fetch": "file:///media/clip.mp4", "range": "bytes=-16"},
            {"fetch": "file:///media/clip.mp4", "range": "bytes=200000-"},
            {"fetch": "file:///beside.txt"},
            # No referrer, as any page can ask: the package yes, a file on disk no.
            {"fetch": "file:///beside.txt", "referer": None},
            {"fetch": "file:///m.js", "referer": None},
            # Another origin gets nothing of the application.
            {"fetch": "file:///m.js", "origin": "https://evil.example"},
            {"fetch": "file:///m.js", "referer": "https://evil.example/page"},
            {"fetch": "file:///missing.js"},
            {"closeWindow": True},
        ]
        results = self.run(exe, {"pages": {"file:///index.html": steps}}, "origin")
        main = results[0] if results else {}
        self.expect(main.get("exitCode") == 0, f"origin: exit code {main.get('exitCode')}")
        start = (main.get("navigations") or [{}])[0]
        self.expect(start.get("status") == 200 and "<script type=module" in start.get("body", ""),
                    f"origin: the start page: {start}")
        for line in ("Content-Type: text/html; charset=utf-8",
                     "Content-Security-Policy: frame-ancestors 'self'"):
            self.expect(line in start.get("headers", "").split("\n"),
                        f"origin: the start page lacks {line!r}: {start.get('headers')}")
        got = {s["index"]: s.get("response", {}) for s in main.get("steps", [])}

        def check(index: int, status: int, mime: str | None = None, body: str | None = None,
                  part: bytes | None = None, header: str | None = None) -> None:
            response = got.get(index, {})
            what = f"origin: step {index} ({steps[index]})"
            self.expect(response.get("status") == status,
                        f"{what}: status {response.get('status')} instead of {status}")
            if mime is not None:
                self.expect(response.get("mimeType") == mime,
                            f"{what}: type {response.get('mimeType')!r} instead of {mime!r}")
            if body is not None:
                self.expect(response.get("body") == body, f"{what}: body {response.get('body')!r}")
            if part is not None:
                self.expect(response.get("partHex") == part.hex(),
                            f"{what}: bytes {response.get('partHex', '')[:40]}...")
            if header is not None:
                self.expect(header in response.get("headers", "").split("\n"),
                            f"{what}: no {header!r} in {response.get('headers')!r}")

        check(0, 200, "text/javascript; charset=utf-8", files["m.js"])
        check(1, 200, "text/javascript; charset=utf-8", files["lib/util.js"])
        check(2, 200, "text/javascript; charset=utf-8", files["worker.js"])
        # WebAssembly's streaming compile takes its type bare.
        check(3, 200, "application/wasm", body=wasm.decode("ascii"))
        check(4, 206, "video/mp4; charset=utf-8", part=video[1000:2000],
              header="Content-Range: bytes 1000-1999/102400")
        check(5, 206, part=video[-16:], header="Content-Range: bytes 102384-102399/102400")
        check(6, 416, header="Content-Range: bytes */102400")
        check(7, 200, body="beside the executable\n")
        check(8, 403)
        check(9, 200, body=files["m.js"])
        check(10, 403, body="")
        check(11, 403, body="")
        check(12, 404, body="Not found: missing.js (not in the application's package, nor beside "
              "its executable)\n")

    def sign(self, exe: Path) -> None:
        """Signs `exe` in place with a throw-away certificate and checks the signature."""
        folder = exe.parent / "signing"
        folder.mkdir(exist_ok=True)
        key, cert, signed = folder / "key.pem", folder / "cert.pem", folder / "signed.exe"
        signed.unlink(missing_ok=True)
        steps = [
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
             "-subj", "/CN=Velloc test", "-keyout", str(key), "-out", str(cert)],
            ["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-n", "Velloc test",
             "-in", str(exe), "-out", str(signed)],
            ["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(signed)],
            [str(self.args.velloc), "info", str(signed)],
        ]
        for command in steps:
            done = subprocess.run(command, capture_output=True, text=True, timeout=60)
            if done.returncode != 0:
                raise Failure(f"signing: {command[0]} {command[1]} failed: "
                              f"{(done.stdout + done.stderr)[-600:]}")
        if "Authenticode" not in done.stdout:
            raise Failure(f"signing: velloc info does not see the signature: {done.stdout}")
        signed.replace(exe)

    def unix_path(self, path: str) -> Path | None:
        """A C: path of the Wine prefix as a path of the build machine."""
        if not path.lower().startswith("c:\\"):
            return None
        parts = path[3:].split("\\")
        folder = self.prefix / "drive_c"
        for part in parts:
            # Wine keeps the letter case it was given, but finds names without regard to it.
            match = [p for p in folder.iterdir() if p.name.lower() == part.lower()] \
                if folder.is_dir() else []
            folder = match[0] if match else folder / part
        return folder


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--standin", type=Path, required=True)
    parser.add_argument("--loader", type=Path, required=True)
    parser.add_argument("--velloc", type=Path, required=True)
    parser.add_argument("--wine", type=Path, required=True)
    parser.add_argument("--work-dir", type=Path, required=True)
    parser.add_argument("--screenshots", type=Path, help="keep the win32 group's pictures here")
    parser.add_argument("only", nargs="*",
                        help="run only these groups (startups: the start-ups; desktop: URL "
                             "schemes, file types and a second start; origin: the "
                             "application origin's answers; win32: the Win32 services; update: "
                             "an update installed and one rolled back)")
    args = parser.parse_args()
    if not args.velloc.is_file():
        print(f"SKIP: no packer at {args.velloc}; build the release preset first")
        return SKIP
    if "WINEPREFIX" not in os.environ or "DISPLAY" not in os.environ:
        print("needs WINEPREFIX and DISPLAY (run it through CTest or tests/windows/xvfb-wine.sh)")
        return 2
    runner = Runner(args)
    # A virtual desktop of Wine's own for the applications: it manages their windows itself,
    # so maximize and sizes answer at once, as on Windows. A name of its own: a desktop lives
    # on the X display of the program that made it, and the other window tests run beside
    # this one on displays of their own.
    desktop = args.work_dir.resolve() / "desktop.reg"
    args.work_dir.mkdir(parents=True, exist_ok=True)
    desktop.write_text("Windows Registry Editor Version 5.00\n\n"
                       f"[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\{EXE_NAME}\\Explorer]\n"
                       f"\"Desktop\"=\"{DESKTOP}\"\n\n"
                       "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"
                       f"\"{DESKTOP}\"=\"1280x1024\"\n", encoding="utf-8")
    subprocess.run([str(args.wine), "regedit", "/S", windows_path(desktop)], env=runner.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    groups = {g.name: g for g in bridge_cases.load("windows")}
    selected = args.only or [*groups, "startups", "desktop", "origin", "win32", "update"]
    start = time.monotonic()
    for name in selected:
        before = len(runner.failures)
        began = time.monotonic()
        try:
            if name == "startups":
                runner.startups()
            elif name == "origin":
                runner.origin()
            elif name == "desktop":
                runner.desktop()
            elif name == "win32":
                win32_parity.run(runner, page, args.screenshots)
            elif name == "update":
                runner.update()
            else:
                runner.shared_group(groups[name])
        except Exception:  # noqa: BLE001 - every group reports on its own
            runner.failures.append(f"{name}: {traceback.format_exc()}")
        status = "ok  " if len(runner.failures) == before else "FAIL"
        print(f"{status} {name} ({time.monotonic() - began:.1f} s)")
        sys.stdout.flush()
    for failure in runner.failures:
        print(f"  - {failure}")
    print(f"{len(selected)} groups in {time.monotonic() - start:.1f} s; "
          f"{len(runner.failures)} failures")
    return 1 if runner.failures else 0


if __name__ == "__main__":
    sys.exit(main())
