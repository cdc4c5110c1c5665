#!/usr/bin/env python3
"""The application `velloc init` writes, packed as an author would: small, with --debug keeping
the debug sections, and its page working through the bridge (version, window size, a file
written by the runtime and read back by the page)."""

from __future__ import annotations

import subprocess
import sys
import time
from pathlib import Path

from harness import XSession, count_near, expect, expect_eq, hex_colour, run_cases, wait_until

# The packed hello-world stays below this (the runtime and its module are stripped). Signed
# updates (libsodium's Ed25519 and SHA-2, the manifest, download and roll-back rules) added about
# 92 KiB to the runtime.
MAX_PACKED_BYTES = 752 * 1024
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


CASES = {"init_app": init_app}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
