#!/usr/bin/env python3
"""End-to-end harness: a private X display, window manager and D-Bus session per case.

Each case gets its own Xvfb (on a free display found with -displayfd), openbox, a session bus
of its own and fresh HOME and XDG folders, so cases never see each other's windows, data
folders or single-instance locks, and can run in parallel. Everything the session starts is
ended when the case ends, also on failure or time-out.

Used by the test scripts beside this file (see run_cases), and as a command:
  harness.py show EXE [--screenshot PNG]   runs EXE under a fresh X session, waits for its
      page, saves a screenshot of its window and closes it through the close protocol
      (scripts/demo.sh without a display);
  harness.py run -- COMMAND...             runs COMMAND under a fresh X session (xrun.sh).

Python standard library only.
"""

from __future__ import annotations

import argparse
import ctypes
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterable

SCREEN_WIDTH = 1280
SCREEN_HEIGHT = 1024
RESULT_PREFIX = "RESULT:"


class E2EError(AssertionError):
    """A failed expectation or a wait that timed out."""


def _die_with_parent() -> None:
    # The helpers must not outlive the test when CTest kills it on time-out.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def wait_until(predicate: Callable[[], object], timeout: float, what: str,
               interval: float = 0.1) -> object:
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise E2EError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def expect(condition: bool, message: str) -> None:
    if not condition:
        raise E2EError(message)


def expect_eq(actual: object, expected: object, what: str) -> None:
    if actual != expected:
        raise E2EError(f"{what}: expected {expected!r}, got {actual!r}")


# --------------------------------------------------------------------------------------------
# Property readers (xprop / xwininfo output)


def _unquote_xprop(text: str) -> str:
    """The value of one xprop string: the text between quotes, with C escapes undone."""
    text = text.strip()
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        return text
    body = text[1:-1]
    out = bytearray()
    i = 0
    raw = body.encode("utf-8", "surrogateescape")
    while i < len(raw):
        c = raw[i]
        if c == 0x5C and i + 1 < len(raw):  # backslash
            n = raw[i + 1]
            if 0x30 <= n <= 0x37:
                digits = re.match(rb"[0-7]{1,3}", raw[i + 1:i + 4]).group(0)
                out.append(int(digits, 8))
                i += 1 + len(digits)
                continue
            out.append({ord("n"): 10, ord("t"): 9, ord("r"): 13}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return out.decode("utf-8", "replace")


def parse_atoms(line: str) -> list[str]:
    if "=" not in line:
        return []
    return [a.strip() for a in line.split("=", 1)[1].split(",") if a.strip()]


def parse_cardinals(line: str) -> list[int]:
    if "=" not in line:
        return []
    return [int(v.strip(), 0) for v in line.split("=", 1)[1].split(",") if v.strip()]


@dataclass
class Rect:
    left: int
    top: int
    width: int
    height: int

    @property
    def right(self) -> int:
        return self.left + self.width

    @property
    def bottom(self) -> int:
        return self.top + self.height


@dataclass
class SizeHints:
    min_size: tuple[int, int] | None
    max_size: tuple[int, int] | None


def parse_normal_hints(text: str) -> SizeHints:
    def size(label: str) -> tuple[int, int] | None:
        m = re.search(rf"program specified {label} size: (\d+) by (\d+)", text)
        return (int(m.group(1)), int(m.group(2))) if m else None

    return SizeHints(size("minimum"), size("maximum"))


# --------------------------------------------------------------------------------------------
# Screenshots


@dataclass
class Image:
    width: int
    height: int
    pixels: bytes  # RGB, row by row

    @staticmethod
    def read_ppm(path: Path) -> "Image":
        data = path.read_bytes()
        # P6 header: magic, width, height, maxval, each separated by white space.
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        expect(fields[0] == b"P6" and fields[3] == b"255", f"unexpected PPM header {fields}")
        width, height = int(fields[1]), int(fields[2])
        pos += 1
        return Image(width, height, data[pos:pos + width * height * 3])

    def crop(self, rect: Rect) -> "Image":
        left, top = max(0, rect.left), max(0, rect.top)
        right, bottom = min(self.width, rect.right), min(self.height, rect.bottom)
        rows = []
        for y in range(top, bottom):
            start = (y * self.width + left) * 3
            rows.append(self.pixels[start:start + (right - left) * 3])
        return Image(max(0, right - left), max(0, bottom - top), b"".join(rows))

    def colours(self) -> dict[tuple[int, int, int], int]:
        """How many pixels have each colour."""
        counts: dict[tuple[int, int, int], int] = {}
        p = self.pixels
        for i in range(0, len(p), 3):
            key = (p[i], p[i + 1], p[i + 2])
            counts[key] = counts.get(key, 0) + 1
        return counts

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        i = (y * self.width + x) * 3
        return (self.pixels[i], self.pixels[i + 1], self.pixels[i + 2])


def hex_colour(text: str) -> tuple[int, int, int]:
    text = text.lstrip("#")
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16))


def count_near(colours: dict[tuple[int, int, int], int], colour: tuple[int, int, int],
               tolerance: int = 2) -> int:
    return sum(n for c, n in colours.items()
               if all(abs(a - b) <= tolerance for a, b in zip(c, colour)))


# --------------------------------------------------------------------------------------------
# Applications


def write_app(folder: Path, ini: dict[str, object], files: dict[str, str | bytes],
              dir_name: str | None = "app") -> Path:
    """Writes an app folder: vlx.ini with section App, and files under the web folder."""
    folder.mkdir(parents=True, exist_ok=True)
    lines = ["[App]"]
    for key, value in ini.items():
        lines.append(f"{key}={value}")
    if dir_name is not None and "DirName" not in ini:
        lines.append(f"DirName={dir_name}")
    (folder / "vlx.ini").write_text("\n".join(lines) + "\n", encoding="utf-8")
    web = folder / (dir_name or "app")
    for name, content in files.items():
        path = web / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, bytes):
            path.write_bytes(content)
        else:
            path.write_text(content, encoding="utf-8")
    return folder


def page(body: str, title: str = "", head: str = "") -> str:
    """A small HTML page around a body."""
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            f"<title>{title}</title>{head}</head>\n<body>{body}</body></html>\n")


# A script for test pages. report(obj) puts "RESULT:<json>" into the title, which the window
# caption follows when the app has DynamicAppTitle=1. settle(promise, ms) tells what a promise
# did within ms milliseconds: {state: "resolved" | "rejected" | "pending", value}.
# raw(message, uuid) posts a message through window.chrome.webview itself and resolves with the
# data of the reply that carries uuid.
PAGE_HELPERS = r"""
<script>
function report(obj) { document.title = "RESULT:" + JSON.stringify(obj); }
function settle(promise, ms) {
  return new Promise((done) => {
    const timer = setTimeout(() => done({state: "pending"}), ms);
    promise.then((value) => { clearTimeout(timer); done({state: "resolved", value}); },
                 (value) => { clearTimeout(timer); done({state: "rejected", value}); });
  });
}
function raw(message, uuid) {
  const webview = window.chrome.webview;
  return new Promise((resolve) => {
    const listener = (event) => {
      if (event.data && event.data.uuid === uuid) {
        webview.removeEventListener("message", listener);
        resolve(event.data);
      }
    };
    webview.addEventListener("message", listener);
    webview.postMessage(message);
  });
}
// "fired" when a media element raises `name` within `ms`, else "timeout" or "error CODE".
function event(element, name, ms) {
  return new Promise((done) => {
    const timer = setTimeout(() => done("timeout"), ms);
    element.addEventListener(name, () => { clearTimeout(timer); done("fired"); }, {once: true});
    element.addEventListener("error", () => {
      clearTimeout(timer);
      done("error " + (element.error && element.error.code));
    }, {once: true});
  });
}
</script>
"""

RESOLVED = "resolved"
PENDING = "pending"


def settled(state: str, value: object = None) -> dict:
    """What settle() reports for a promise in that state."""
    return {"state": state} if state == PENDING else {"state": state, "value": value}


class App:
    """One launched process of a packed executable."""

    def __init__(self, session: "XSession", proc: subprocess.Popen, name: str, log: Path):
        self.session = session
        self.proc = proc
        self.name = name
        self.log = log

    @property
    def pid(self) -> int:
        return self.proc.pid

    def wait(self, timeout: float) -> int:
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise E2EError(f"{self.name} did not exit within {timeout:g} s") from None

    def running(self) -> bool:
        return self.proc.poll() is None

    def kill(self) -> None:
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()

    def output(self) -> str:
        try:
            return self.log.read_text(errors="replace")
        except OSError:
            return ""

    def windows(self) -> list[int]:
        return self.session.find_windows(pid=self.pid)

    def wait_window(self, timeout: float = 30, name: str | None = None) -> int:
        def found() -> int | None:
            if self.proc.poll() is not None:
                raise E2EError(f"{self.name} exited with code {self.proc.returncode} before "
                               f"showing a window; output:\n{self.output()}")
            windows = self.session.find_windows(pid=self.pid, name=name)
            return windows[0] if windows else None

        return wait_until(found, timeout, f"a window of {self.name}")  # type: ignore[return-value]


class XSession:
    """A private X display with openbox and a session bus, and isolated user folders."""

    def __init__(self, name: str, artifacts: Path, bin_dir: Path | None = None,
                 extra_env: dict[str, str] | None = None):
        self.name = name
        self.artifacts = artifacts
        self.bin_dir = bin_dir
        self.extra_env = extra_env or {}
        self.root: Path | None = None
        self.env: dict[str, str] = {}
        self.display = ""
        self._helpers: list[subprocess.Popen] = []
        self._apps: list[App] = []
        self._logs: list = []

    # ---- life cycle

    def __enter__(self) -> "XSession":
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, exc_type, *exc) -> None:
        if exc_type is not None and self.display:
            self._record_failure()
        self.close()

    def _record_failure(self) -> None:
        """Keeps what the screen showed when a case failed, beside its other artifacts."""
        try:
            lines = []
            for wid in self.find_windows():
                pid = parse_cardinals(self.xprop(wid, "_NET_WM_PID"))
                if pid:
                    lines.append(f"{wid:#x} pid {pid[0]}: {self.title(wid)!r} "
                                 f"{sorted(self.net_wm_state(wid))}")
            (self.artifacts / "failure-windows.txt").write_text("\n".join(lines) + "\n")
            self.screenshot(self.artifacts / "failure.png")
        except Exception as error:  # noqa: BLE001 - the case's own failure matters more
            print(f"(could not record the screen: {error})", file=sys.stderr)

    def start(self) -> None:
        self.artifacts.mkdir(parents=True, exist_ok=True)
        # Short paths: the bus and the lock live under XDG_RUNTIME_DIR.
        self.root = Path(tempfile.mkdtemp(prefix="velloc-e2e-"))
        home = self.root / "home"
        runtime_dir = self.root / "run"
        for d in (home, runtime_dir, home / ".local/share", home / ".config", home / ".cache"):
            d.mkdir(parents=True, exist_ok=True)
        runtime_dir.chmod(0o700)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "DBUS_", "WAYLAND_", "LC_", "LANGUAGE"))
               and k not in ("DISPLAY", "XAUTHORITY", "SESSION_MANAGER", "GDK_BACKEND")}
        env.update({
            "HOME": str(home),
            "XDG_DATA_HOME": str(home / ".local/share"),
            "XDG_CONFIG_HOME": str(home / ".config"),
            "XDG_CACHE_HOME": str(home / ".cache"),
            "XDG_RUNTIME_DIR": str(runtime_dir),
            "LANG": "C.UTF-8",
            "GDK_BACKEND": "x11",
            "NO_AT_BRIDGE": "1",
            "WEBKIT_DISABLE_COMPOSITING_MODE": "1",
        })
        env.update(self.extra_env)
        self.env = env
        self._start_xvfb()
        self._start_bus()
        self._start_wm()

    def close(self) -> None:
        for app in self._apps:
            app.kill()
        for proc in reversed(self._helpers):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        for f in self._logs:
            f.close()
        self._helpers.clear()
        if self.root:
            shutil.rmtree(self.root, ignore_errors=True)
            self.root = None

    def _helper(self, cmd: list[str], **kwargs) -> subprocess.Popen:
        log = open(self.artifacts / f"{Path(cmd[0]).name}.log", "ab")
        self._logs.append(log)
        proc = subprocess.Popen(cmd, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=kwargs.pop("stdout", log), stderr=log,
                                preexec_fn=_die_with_parent, **kwargs)
        self._helpers.append(proc)
        return proc

    def _start_xvfb(self) -> None:
        read_fd, write_fd = os.pipe()
        try:
            proc = self._helper(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                 f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp",
                                 "-noreset"], pass_fds=(write_fd,))
        finally:
            os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 20
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([pipe], [], [], left)[0]:
                    raise E2EError("Xvfb did not report its display")
                chunk = pipe.read(16)
                if not chunk:
                    raise E2EError(f"Xvfb exited with code {proc.wait()}")
                number += chunk
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display

    def _start_bus(self) -> None:
        proc = self._helper(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                             "--print-address=1",
                             f"--address=unix:dir={self.env['XDG_RUNTIME_DIR']}"],
                            stdout=subprocess.PIPE)
        assert proc.stdout is not None
        if not select.select([proc.stdout], [], [], 20)[0]:
            raise E2EError("dbus-daemon did not report its address")
        address = proc.stdout.readline().decode().strip()
        expect(bool(address), "dbus-daemon reported no address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _start_wm(self) -> None:
        self._helper(["openbox", "--sm-disable"])

        def ready() -> bool:
            line = self.xprop_root("_NET_SUPPORTING_WM_CHECK")
            return "window id" in line

        wait_until(ready, 20, "openbox to manage the display")

    # ---- processes

    def run(self, cmd: list[str], timeout: float = 60, check: bool = True,
            env: dict[str, str] | None = None) -> subprocess.CompletedProcess:
        full_env = dict(self.env, **(env or {}))
        try:
            result = subprocess.run(cmd, env=full_env, stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True, timeout=timeout,
                                    errors="replace")
        except subprocess.TimeoutExpired:
            raise E2EError(f"{' '.join(cmd)} did not finish within {timeout:g} s") from None
        if check and result.returncode != 0:
            raise E2EError(f"{' '.join(cmd)} failed with code {result.returncode}:\n"
                           f"{result.stdout}{result.stderr}")
        return result

    def launch(self, exe: Path | str, *args: str, env: dict[str, str] | None = None,
               unset: Iterable[str] = ()) -> App:
        """Starts an executable in its own process group (its web processes die with it)."""
        full_env = dict(self.env, **(env or {}))
        for key in unset:
            full_env.pop(key, None)
        name = f"{Path(exe).name}#{len(self._apps) + 1}"
        log_path = self.artifacts / f"{name}.log"
        log = open(log_path, "wb")
        self._logs.append(log)
        proc = subprocess.Popen([str(exe), *args], env=full_env, stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                                preexec_fn=_die_with_parent)
        app = App(self, proc, name, log_path)
        self._apps.append(app)
        return app

    def pack(self, app_dir: Path, out: Path | None = None) -> Path:
        """Packs an app folder with the velloc of the build tree into an executable."""
        expect(self.bin_dir is not None, "no bin dir given")
        out = out or app_dir.with_suffix(".bin")
        self.run([str(self.bin_dir / "velloc"), "pack", str(app_dir), "-o", str(out),
                  "--quiet"], timeout=120)
        expect(out.is_file() and os.access(out, os.X_OK), f"velloc pack wrote no executable {out}")
        return out

    def raw_pack(self, rawpack: Path, out: Path, entries: dict[str, str | bytes]) -> Path:
        """Attaches a package with exactly these entries to a copy of the runtime, without the
        packer's checks."""
        expect(self.bin_dir is not None, "no bin dir given")
        folder = out.with_suffix(".entries")
        folder.mkdir(parents=True, exist_ok=True)
        items = []
        for index, (name, content) in enumerate(entries.items()):
            path = folder / str(index)
            path.write_bytes(content if isinstance(content, bytes) else content.encode())
            items.append(f"{name}={path}")
        self.run([str(rawpack), str(self.bin_dir / "velloc-runtime"), str(out), *items])
        return out

    def make_app(self, name: str, ini: dict[str, object], files: dict[str, str | bytes],
                 dir_name: str | None = "app") -> Path:
        """Writes an app folder under the artifacts and packs it; returns the executable."""
        folder = write_app(self.artifacts / name, ini, files, dir_name)
        return self.pack(folder, self.artifacts / f"{name}.bin")

    # ---- X queries

    def x(self, *cmd: str, check: bool = True) -> str:
        return self.run(list(cmd), timeout=20, check=check).stdout

    def xprop_root(self, *props: str) -> str:
        return self.x("xprop", "-root", *props, check=False)

    def xprop(self, wid: int, *props: str) -> str:
        return self.x("xprop", "-id", str(wid), *props, check=False)

    def find_windows(self, pid: int | None = None, name: str | None = None,
                     visible: bool = True) -> list[int]:
        cmd = ["xdotool", "search"]
        if visible:
            cmd.append("--onlyvisible")
        if pid is not None:
            cmd += ["--pid", str(pid)]
        if name is not None:
            cmd += ["--name", name]
        elif pid is None:
            cmd += ["--name", ".*"]
        out = self.run(cmd, timeout=20, check=False).stdout
        return [int(w) for w in out.split()]

    def wait_no_window(self, app: App, seconds: float) -> None:
        """Checks for `seconds` (or until the app exits) that the app shows no window."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            windows = app.windows()
            if windows:
                raise E2EError(f"{app.name} showed a window titled {self.title(windows[0])!r}")
            if not app.running():
                return
            time.sleep(0.1)

    def title(self, wid: int) -> str:
        line = self.xprop(wid, "-notype", "_NET_WM_NAME")
        if "=" not in line:
            line = self.xprop(wid, "-notype", "WM_NAME")
        if "=" not in line:
            return ""
        return _unquote_xprop(line.split("=", 1)[1])

    def wait_title(self, wid: int, predicate: Callable[[str], bool], timeout: float = 30,
                   what: str = "a title") -> str:
        last = [""]

        def check() -> str | None:
            last[0] = self.title(wid)
            return last[0] if predicate(last[0]) else None

        try:
            return wait_until(check, timeout, what)  # type: ignore[return-value]
        except E2EError as error:
            raise E2EError(f"{error}; the title is {last[0]!r}") from None

    def wait_result(self, app: App, wid: int | None = None, timeout: float = 30,
                    result_file: Path | None = None) -> dict:
        """The result a test page reports: "RESULT:<json>" as its title (with DynamicAppTitle=1),
        or a JSON file written by the page."""
        def check() -> dict | None:
            if result_file is not None and result_file.is_file():
                text = result_file.read_text(encoding="utf-8")
                try:
                    return json.loads(text)
                except ValueError:
                    return None  # still being written
            if wid is not None:
                title = self.title(wid)
                if title.startswith(RESULT_PREFIX):
                    return json.loads(title[len(RESULT_PREFIX):])
            if not app.running():
                raise E2EError(f"{app.name} exited with code {app.proc.returncode} before "
                               f"reporting; output:\n{app.output()}")
            return None

        title_now = self.title(wid) if wid is not None else ""
        try:
            return wait_until(check, timeout, "the page's result")  # type: ignore[return-value]
        except E2EError as error:
            if wid is not None:
                title_now = self.title(wid)
            raise E2EError(f"{error}; the title is {title_now!r}; output:\n{app.output()}") \
                from None

    def frame_extents(self, wid: int) -> tuple[int, int, int, int]:
        """left, right, top, bottom of the window manager's frame."""
        values = parse_cardinals(self.xprop(wid, "_NET_FRAME_EXTENTS"))
        return tuple(values) if len(values) == 4 else (0, 0, 0, 0)  # type: ignore[return-value]

    def client_rect(self, wid: int) -> Rect:
        info = self.x("xwininfo", "-id", str(wid))

        def field(label: str) -> int:
            m = re.search(rf"{label}:\s+(-?\d+)", info)
            expect(m is not None, f"xwininfo gave no {label}")
            return int(m.group(1))  # type: ignore[union-attr]

        return Rect(field("Absolute upper-left X"), field("Absolute upper-left Y"),
                    field("Width"), field("Height"))

    def outer_rect(self, wid: int) -> Rect:
        """The window with its frame, as the user sees it."""
        inner = self.client_rect(wid)
        left, right, top, bottom = self.frame_extents(wid)
        return Rect(inner.left - left, inner.top - top, inner.width + left + right,
                    inner.height + top + bottom)

    def wait_settled(self, wid: int, timeout: float = 10, quiet: float = 0.5) -> Rect:
        """Waits until the window's outer rectangle has stopped changing."""
        last: list = [None, time.monotonic()]

        def stable() -> Rect | None:
            rect = self.outer_rect(wid)
            now = time.monotonic()
            if rect != last[0]:
                last[0], last[1] = rect, now
                return None
            return rect if now - last[1] >= quiet else None

        return wait_until(stable, timeout, "the window to settle", 0.1)  # type: ignore

    def net_wm_state(self, wid: int) -> set[str]:
        return {a.removeprefix("_NET_WM_STATE_")
                for a in parse_atoms(self.xprop(wid, "_NET_WM_STATE"))}

    def window_types(self, wid: int) -> list[str]:
        return [a.removeprefix("_NET_WM_WINDOW_TYPE_")
                for a in parse_atoms(self.xprop(wid, "_NET_WM_WINDOW_TYPE"))]

    def decorated(self, wid: int) -> bool:
        """False when the client asks for no decorations (_MOTIF_WM_HINTS)."""
        hints = parse_cardinals(self.xprop(wid, "_MOTIF_WM_HINTS"))
        MWM_HINTS_DECORATIONS = 2
        if len(hints) >= 3 and hints[0] & MWM_HINTS_DECORATIONS:
            return hints[2] != 0
        return True

    def normal_hints(self, wid: int) -> SizeHints:
        return parse_normal_hints(self.xprop(wid, "WM_NORMAL_HINTS"))

    def allowed_actions(self, wid: int) -> set[str]:
        return {a.removeprefix("_NET_WM_ACTION_")
                for a in parse_atoms(self.xprop(wid, "_NET_WM_ALLOWED_ACTIONS"))}

    # ---- input

    def close_window(self, wid: int, how: str = "wm") -> None:
        """Asks the window to close the way a user does: "wm" sends _NET_CLOSE_WINDOW (the
        window manager then sends WM_DELETE_WINDOW, as for the title bar's close button);
        "keys" presses Alt+F4, which openbox binds to the same close."""
        if how == "wm":
            self.x("wmctrl", "-i", "-c", hex(wid))
        elif how == "keys":
            # Held as a person holds it: under load openbox loses a chord typed in one go.
            self.x("xdotool", "windowactivate", "--sync", str(wid))
            self.x("xdotool", "keydown", "Alt_L", "sleep", "0.1", "key", "F4", "sleep", "0.1",
                   "keyup", "Alt_L")
        else:
            raise ValueError(how)

    def press(self, wid: int, *keys: str) -> None:
        """Activates the window and presses keys, as a user at the keyboard does."""
        self.x("xdotool", "windowactivate", "--sync", str(wid))
        self.x("xdotool", "key", "--clearmodifiers", *keys)

    def screenshot(self, path: Path, rect: Rect | None = None) -> Image:
        """Saves the screen, or the part of it in rect, as PNG at path and returns the whole
        screen's pixels."""
        ppm = path.with_suffix(".ppm")
        self.x("import", "-window", "root", "-depth", "8", f"ppm:{ppm}")
        crop = [] if rect is None else \
            ["-crop", f"{rect.width}x{rect.height}+{rect.left}+{rect.top}", "+repage"]
        self.x("/usr/bin/convert", str(ppm), *crop, str(path))
        image = Image.read_ppm(ppm)
        ppm.unlink()
        return image


# --------------------------------------------------------------------------------------------
# Running cases


def common_args(description: str) -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--list", action="store_true", help="print the case names and stop")
    parser.add_argument("--bin-dir", type=Path,
                        help="folder with velloc, velloc-runtime and the WebKit module")
    parser.add_argument("--work-dir", type=Path,
                        help="folder for packed apps, logs and screenshots")
    parser.add_argument("--source-dir", type=Path, default=Path(__file__).resolve().parents[2],
                        help="repository root")
    parser.add_argument("--rawpack", type=Path,
                        help="e2e-rawpack, for packages that velloc pack refuses to build")
    parser.add_argument("cases", nargs="*", help="run only these cases")
    return parser


def run_cases(cases: dict[str, Callable[[argparse.Namespace, Path], None]],
              description: str) -> int:
    """Runs the named cases (all by default), each with its own artifacts folder, and prints a
    line per case and a closing "N passed, N failed" line."""
    parser = common_args(description)
    args = parser.parse_args()
    if args.list:
        print("\n".join(cases))
        return 0
    if args.bin_dir is None or args.work_dir is None:
        parser.error("--bin-dir and --work-dir are required")
    selected = args.cases or list(cases)
    unknown = [c for c in selected if c not in cases]
    if unknown:
        print(f"unknown cases: {', '.join(unknown)}; known: {', '.join(cases)}")
        return 2
    args.bin_dir = args.bin_dir.resolve()
    args.work_dir = args.work_dir.resolve()
    passed = failed = 0
    for name in selected:
        artifacts = args.work_dir / name
        shutil.rmtree(artifacts, ignore_errors=True)
        artifacts.mkdir(parents=True)
        start = time.monotonic()
        try:
            cases[name](args, artifacts)
        except Exception as error:  # noqa: BLE001 - every failure is reported per case
            failed += 1
            detail = str(error) if isinstance(error, E2EError) else traceback.format_exc()
            print(f"FAIL {name} ({time.monotonic() - start:.1f} s): {detail}")
            print(f"     artifacts: {artifacts}")
        else:
            passed += 1
            print(f"ok   {name} ({time.monotonic() - start:.1f} s)")
        sys.stdout.flush()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


# --------------------------------------------------------------------------------------------
# Command: show a packed app under a fresh X session


def show(exe: Path, screenshot: Path, timeout: float) -> int:
    """Runs exe in a fresh X session, saves a screenshot of its window once the page has
    settled, then closes the window with a close request, which runs the page's
    onCloseQuery. Returns the app's exit code."""
    artifacts = screenshot.parent / "xsession"
    with XSession("show", artifacts) as session:
        app = session.launch(exe.resolve())
        wid = app.wait_window(timeout)
        rect = session.wait_settled(wid)
        # The page cannot say when it is done: wait until two screenshots in a row agree.
        previous = None
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(1.0)
            image = session.screenshot(screenshot, rect)
            if image.pixels == previous:
                break
            previous = image.pixels
        print(f"window: {session.title(wid)!r}, {rect.width}x{rect.height}")
        print(f"screenshot: {screenshot}")
        session.close_window(wid)
        try:
            code = app.wait(timeout)
        except E2EError as error:
            print(f"error: {error}; output:\n{app.output()}", file=sys.stderr)
            return 1
        print(f"exit code after the close request: {code}")
        return code


def run_in_session(command: list[str], artifacts: Path) -> int:
    """Runs a command inside a fresh X session and returns its exit code."""
    with XSession("run", artifacts) as session:
        proc = subprocess.run(command, env=session.env, check=False)
        return proc.returncode


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    show_parser = sub.add_parser("show", help="run EXE under Xvfb, screenshot it, close it")
    show_parser.add_argument("exe", type=Path)
    show_parser.add_argument("--screenshot", type=Path, default=Path("screenshot.png"))
    show_parser.add_argument("--timeout", type=float, default=60)
    run_parser = sub.add_parser("run", help="run COMMAND under a fresh X session")
    run_parser.add_argument("--artifacts", type=Path, default=None,
                            help="folder for the session's logs (default: a temporary one)")
    run_parser.add_argument("argv", nargs=argparse.REMAINDER, metavar="COMMAND")
    args = parser.parse_args()
    if args.command == "run":
        argv = args.argv[1:] if args.argv[:1] == ["--"] else args.argv
        if not argv:
            parser.error("run: no command given")
        if args.artifacts is None:
            with tempfile.TemporaryDirectory(prefix="velloc-xrun-") as folder:
                return run_in_session(argv, Path(folder))
        return run_in_session(argv, args.artifacts)
    if args.command == "show":
        return show(args.exe, args.screenshot.resolve(), args.timeout)
    return 2


if __name__ == "__main__":
    sys.exit(main())
