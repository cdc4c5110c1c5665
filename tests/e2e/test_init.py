#!/usr/bin/env python3
"""The application `velloc init` writes, packed as an author would: small, with --debug keeping
the debug sections, and its page working through the bridge (version, window size, a file
written by the runtime and read back by the page). The Vite template as an author uses it:
`npm install`, `npm run dev` showing Vite's page in the application's window with the bridge,
a saved module replaced in the running page without a reload, and `npm run build` packing an
executable that runs."""

from __future__ import annotations

import os
import re
import subprocess
import sys
import time
from pathlib import Path

from harness import XSession, count_near, expect, expect_eq, hex_colour, run_cases, wait_until

# The packed hello-world stays below this (the runtime and its module are stripped). Signed
# updates (libsodium's Ed25519 and SHA-2, the manifest, download and roll-back rules) added about
# 92 KiB to the runtime.
MAX_PACKED_BYTES = 776 * 1024
# The green of app/style.css that the page paints once the bridge has answered.
OK_GREEN = hex_colour("#15803d")


def sections(exe: Path) -> set[str]:
    out = subprocess.run(["readelf", "-S", "-W", str(exe)], capture_output=True, text=True,
                         check=True).stdout
    return {word for line in out.splitlines() for word in line.split() if word.startswith(".")}


def init_app(args, artifacts: Path) -> None:
    with XSession("init", artifacts, args.bin_dir) as session:
        velloc = str(args.bin_dir / "velloc")
        folder = artifacts / "hello"
        session.run([velloc, "init", str(folder), "--name", "Hello Velloc"])
        exe = session.pack(folder, artifacts / "hello.bin")
        size = exe.stat().st_size
        print(f"packed velloc init application: {size} bytes")
        expect(size <= MAX_PACKED_BYTES,
               f"the packed application has {size} bytes, more than {MAX_PACKED_BYTES}")
        expect(".debug_info" not in sections(exe), "the default runtime carries debug sections")

        debug = artifacts / "hello-debug.bin"
        session.run([velloc, "pack", str(folder), "-o", str(debug), "--quiet", "--debug"])
        expect({".debug_info", ".debug_line", ".symtab"} <= sections(debug),
               f"--debug packed a runtime without debug sections: {sorted(sections(debug))}")
        debug.unlink()

        tmp = artifacts / "tmp"
        tmp.mkdir()
        app = session.launch(exe, env={"TMPDIR": str(tmp)})
        wid = app.wait_window()
        expect_eq(session.title(wid), "Hello Velloc", "window title")
        # The page writes its note through the bridge and reads it back with fetch().
        note = tmp / "hello-note.txt"
        wait_until(note.is_file, 30, "the page's note in TMPDIR")
        wait_until(lambda: note.read_bytes().endswith(b"\r\n"), 10, "the whole note")
        expect_eq(note.read_bytes(), b"\xef\xbb\xbfHello from Hello Velloc\r\n", "the note")

        rect = session.wait_settled(wid)
        green = 0
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            image = session.screenshot(artifacts / "screenshot.png").crop(rect)
            green = count_near(image.colours(), OK_GREEN, 6)
            if green >= 2_000:
                break
            time.sleep(0.5)
        expect(green >= 2_000, f"the version badge and the note read back paint {green} green "
                               f"pixels; see {artifacts}/screenshot.png")

        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code after closing")


# Appended to the template's src/main.js: the page's state in the window's title (the app gets
# DynamicAppTitle=1). Its loads are counted in sessionStorage, which a reload keeps and hot
# reload does not touch; the counter is clicked three times once.
VITE_PROBE = """
const loads = Number(sessionStorage.getItem('loads') || 0) + 1;
sessionStorage.setItem('loads', String(loads));
for (let i = 0; i < 3; i++) byId('counter').click();
setInterval(() => {
  document.title = [`loads=${loads}`, byId('counter').textContent, byId('greeting').textContent,
                    byId('runtime').textContent].join(' | ');
}, 100);
"""


def vite_template(args, artifacts: Path) -> None:
    node = subprocess.run(["node", "--version"], capture_output=True, text=True).stdout.strip()
    major, minor = (int(n) for n in re.findall(r"\d+", node)[:2])
    expect((major, minor) >= (20, 19), f"Vite needs Node.js 20.19 or later, not {node}")
    # Packages come from the registry once and from this cache for later runs.
    cache = args.work_dir / "npm-cache"
    env = {"PATH": f"{args.bin_dir}{os.pathsep}{os.environ['PATH']}", "npm_config_cache": str(cache),
           "npm_config_update_notifier": "false", "npm_config_fund": "false",
           "npm_config_audit": "false"}
    with XSession("vite", artifacts, args.bin_dir, extra_env=env) as session:
        folder = artifacts / "hello-vite"
        session.run([str(args.bin_dir / "velloc"), "init", str(folder), "--template", "vite",
                     "--name", "Hello Vite"])
        with open(folder / "vlx.ini", "a", encoding="utf-8") as ini:
            ini.write("DynamicAppTitle=1\n")
        with open(folder / "src/main.js", "a", encoding="utf-8") as main:
            main.write(VITE_PROBE)
        started = time.monotonic()
        session.run(["npm", "install", "--prefer-offline", "--prefix", str(folder)], timeout=100)
        print(f"npm install: {time.monotonic() - started:.1f} s")

        def title_of(app, pattern: str) -> int:
            def found() -> int | None:
                if not app.running():
                    raise AssertionError(f"{app.name} ended: {app.output()}")
                windows = session.find_windows(name=pattern)
                return windows[0] if windows else None
            return wait_until(found, 30, f"a window titled {pattern!r}; output:\n"
                              f"{app.output()}")  # type: ignore[return-value]

        dev = session.launch("npm", "--prefix", str(folder), "run", "dev")
        wid = title_of(dev, r"^loads=1 \| Clicked 3 times \| Hello from Hello Vite! \| "
                            r"Running on Velloc ")
        wait_until(lambda: "http://localhost:" in dev.output(), 10, "velloc run's address")
        # A saved module is replaced in the running page: the same load, the count kept.
        greeting = folder / "src/greeting.js"
        greeting.write_text(greeting.read_text().replace("Hello from", "Hot hello from"))
        expect_eq(title_of(dev, r"^loads=1 \| Clicked 3 times \| Hot hello from Hello Vite!"),
                  wid, "the window after hot reload")
        # Closing the window ends npm run dev.
        session.close_window(wid)
        expect_eq(dev.wait(20), 0, f"exit code of npm run dev; output:\n{dev.output()}")

        session.run(["npm", "--prefix", str(folder), "run", "build"], timeout=60)
        exe = folder / "hello-vite"
        expect(exe.is_file(), f"npm run build packed no {exe}")
        app = session.launch(exe)
        wid = title_of(app, r"^loads=1 \| Clicked 3 times \| Hot hello from Hello Vite! \| "
                            r"Running on Velloc ")
        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code of the built application")


CASES = {"init_app": init_app, "vite_template": vite_template}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
