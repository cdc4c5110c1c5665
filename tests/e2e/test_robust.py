#!/usr/bin/env python3
"""Hostile values from a page or a package that used to end the runtime: titles and dialog
texts of megabytes, window sizes beyond what X11 and WebKit survive, and IDs and
configurations the runtime must refuse."""

from __future__ import annotations

import json
import sys
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases, wait_until

MAX_EXTENT = 8192
MAX_TITLE = 4096

# One axis at a time: a window of 8,192 pixels square takes many seconds to paint under Xvfb.
SIZES = [(2147483647, 200), (300, 32767), (-2147483648, -2147483648)]

HOSTILE_PAGE = page("<h1>still here</h1>" + PAGE_HELPERS + """
<script>
(async () => {
  const r = {sizes: []};
  try {
  await vlx.window.setTitle({title: "T".repeat(17000000)});
  r.titleLength = (await vlx.window.getTitle()).length;
  for (const [width, height] of %s) {
    await vlx.window.setSize({width, height});
    await new Promise((done) => setTimeout(done, 300));
    r.sizes.push(await vlx.window.getSize());
  }
  await vlx.window.setSize({left: 0, top: 0, width: 640, height: 480});
  } catch (e) { r.error = String(e); }
  report(r);
})();
</script>""" % json.dumps(SIZES))


def _web_processes(app) -> list[int]:
    """The web processes in the app's process group."""
    found = []
    for proc in Path("/proc").iterdir():
        try:
            stat = (proc / "stat").read_text()
            cmdline = (proc / "cmdline").read_bytes()
        except (OSError, ValueError):
            continue
        # The fields after the command's closing parenthesis: state, ppid, pgrp.
        pgrp = int(stat.rsplit(")", 1)[1].split()[2])
        if pgrp == app.pid and b"WebKitWebProcess" in cmdline:
            found.append(int(proc.name))
    return found


def huge_title_and_window_sizes(args, artifacts: Path) -> None:
    """setTitle with 17 million characters and setSize with INT_MAX, 32,767 and INT_MIN leave
    the window and its web process alive: the title is cut at 4096 bytes and every size is
    kept within 8,192 pixels; the page goes on answering afterwards."""
    with XSession("hostile", artifacts, args.bin_dir) as session:
        exe = session.make_app("hostile", {"ID": "E2EHostile", "Name": "Hostile",
                                           "DynamicAppTitle": 1}, {"index.html": HOSTILE_PAGE})
        app = session.launch(exe)
        wid = app.wait_window()
        web = wait_until(lambda: _web_processes(app), 30, "the web process")
        result = session.wait_result(app, wid, timeout=60)
        expect("error" not in result, f"the page failed: {result}")
        expect_eq(result["titleLength"], MAX_TITLE, "title length after a 17-million title")
        for (width, height), size in zip(SIZES, result["sizes"]):
            expect(1 <= size["width"] <= MAX_EXTENT + 64 and 1 <= size["height"] <= MAX_EXTENT + 64,
                   f"setSize({width}, {height}) gave {size}")
        expect(MAX_EXTENT <= result["sizes"][0]["width"] <= MAX_EXTENT + 64 and
               MAX_EXTENT <= result["sizes"][1]["height"] <= MAX_EXTENT + 64,
               f"INT_MAX and 32,767 give the largest size: {result['sizes']}")
        expect(app.running(), "the runtime ended")
        expect(web and set(web) <= set(_web_processes(app)),
               f"the web process was replaced or died: {web} then "
               f"{_web_processes(app)}")
        session.screenshot(artifacts / "after.png")
        session.close_window(wid)
        expect_eq(app.wait(15), 0, "exit code")


def huge_configuration_values(args, artifacts: Path) -> None:
    """A Name and a Theme of half a megabyte each and a Width of INT_MAX: the "Style not found"
    dialog fits the screen, the main window opens with its title cut at 4096 bytes and 8,192
    pixels wide, and its page answers."""
    name = "N" * 500000
    theme = "S" * 500000
    result_file = artifacts / "result.json"
    index = page("<h1>big</h1><script>vlx.window.getSize().then((s) => vlx.files.writeTextFile("
                 f"{{filePath: {json.dumps(str(result_file))}, contents: JSON.stringify(s)}}));"
                 "</script>")
    with XSession("bigini", artifacts, args.bin_dir) as session:
        exe = session.make_app("bigini", {"ID": "E2EBigIni", "Name": name, "Theme": theme,
                                          "Width": 2147483647, "Height": 300},
                               {"index.html": index})
        app = session.launch(exe)
        dialog = app.wait_window(name="Error")
        session.screenshot(artifacts / "style-dialog.png")
        dialog_rect = session.client_rect(dialog)
        expect(dialog_rect.height <= 1024 and dialog_rect.width <= 1280,
               f"the dialog does not fit the screen: {dialog_rect}")
        session.press(dialog, "Return")
        wid = app.wait_window(name="NNNN")
        title = session.title(wid)
        expect(len(title.encode()) <= MAX_TITLE and title.startswith("NNNN"),
               f"title of {len(title)} characters")
        # Text files from the bridge start with a byte-order mark.
        wait_until(lambda: result_file.is_file() and result_file.stat().st_size > 0, 90,
                   "the page's result")
        size = json.loads(result_file.read_text(encoding="utf-8-sig"))
        # The window's outer size, frame included.
        expect(MAX_EXTENT <= size["width"] <= MAX_EXTENT + 64 and size["height"] < 400,
               f"the page sees {size}")
        expect(app.running(), "the runtime ended")
        session.close_window(wid)
        expect_eq(app.wait(30), 0, "exit code")


def refused_packages(args, artifacts: Path) -> None:
    """An ID that would lead the data folder elsewhere, and a vlx.ini over 1 MiB: the packer
    refuses both, and the runtime given such a package (attached without the packer's checks)
    ends with the start-up error report, exit code 1, and creates nothing."""
    index = page("<p>never shown</p>")
    table = [
        ("id-outside", "[App]\nID=../../../../outside\nName=Out\nDirName=app\n",
         "cannot name a folder"),
        ("id-control", "[App]\nID=a\x1b[2Jb\nName=Ctl\nDirName=app\n", "cannot name a folder"),
        ("big-ini", "[App]\nID=E2EBig\nName=Big\nDirName=app\n" + ";" * (1 << 20),
         "at most 1 MiB"),
    ]
    expect(args.rawpack is not None, "--rawpack is required")
    with XSession("refused", artifacts, args.bin_dir) as session:
        for name, ini, message in table:
            folder = artifacts / name
            (folder / "app").mkdir(parents=True)
            (folder / "vlx.ini").write_text(ini)
            (folder / "app/index.html").write_text(index)
            packed = session.run([str(args.bin_dir / "velloc"), "pack", str(folder), "-o",
                                  str(artifacts / f"{name}.packed"), "--quiet"], check=False)
            expect_eq(packed.returncode, 2, f"{name}: velloc pack exit code")
            expect(message in packed.stderr, f"{name}: velloc pack said {packed.stderr!r}")

            exe = session.raw_pack(args.rawpack, artifacts / f"{name}.bin",
                                   {"vlx.ini": ini, "app/index.html": index})
            app = session.launch(exe, unset=["DISPLAY"])
            expect_eq(app.wait(30), 1, f"{name}: exit code")
            expect(f"Application Error: " in app.output() and message in app.output(),
                   f"{name}: output {app.output()!r}")
            expect("\x1b" not in app.output(), f"{name}: a raw escape reached the terminal")
            data = Path(session.env["XDG_DATA_HOME"])
            expect(not any(data.iterdir()), f"{name}: created a data folder")
            expect(not any(data.parent.parent.glob("**/outside")), f"{name}: wrote outside")


CASES = {
    "huge_title_and_window_sizes": huge_title_and_window_sizes,
    "huge_configuration_values": huge_configuration_values,
    "refused_packages": refused_packages,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
