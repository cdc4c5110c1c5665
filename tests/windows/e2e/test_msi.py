#!/usr/bin/env python3
"""The Windows installer under Wine: an application packed onto velloc-standin.exe, its
executable signed, `velloc msi` of it, the package signed too; `msiexec /i` replaces an earlier
build of the same version and installs the
executable below %LOCALAPPDATA%\\Programs, a Start-menu shortcut with the icon, the uninstall
entry and the URL scheme and file types below HKCU\\Software\\Classes (an extension that another
program has keeps it); the application starts from the shortcut, as the installed executable,
and registers nothing of its own; `msiexec /x` leaves none of it behind.

Run by CTest inside a private X display with the shared wineserver's WINEPREFIX; by hand:
  tests/windows/xvfb-wine.sh python3 tests/windows/e2e/test_msi.py \\
      --standin build/windows/tests/windows/e2e/velloc-standin.exe \\
      --loader build/windows/bin/WebView2LoaderWin64.dll --velloc build/release/bin/velloc \\
      --wine /usr/lib/wine/wine64 --work-dir /tmp/msi
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from test_whole_program import SKIP, Runner, page, windows_path  # noqa: E402

APP_ID = "StandInInstaller"
# Beyond Windows-1252 ("\u4e2d" becomes "_" in the package), and characters that WiX, wixl or
# Windows Installer would otherwise read as their own: "[1]" names a property, "$(" a variable.
NAME = "Jos\u00e9's \u20ac \u4e2d Notes [1] $(x) & more"
FOLDER = "Jos\u00e9's \u20ac _ Notes [1] $ (x) & more"  # the installed folder, shortcut, exe
SCHEME = "velloc-msi"
PROG_A, PROG_B = f"{APP_ID}.file.vlxa", f"{APP_ID}.file.vlxb"
CLASSES = "HKEY_CURRENT_USER\\Software\\Classes"
INSTALLED = "HKEY_CURRENT_USER\\Software\\Velloc\\Installed"


class Installer:
    def __init__(self, runner: Runner):
        self.runner = runner
        self.wine = str(runner.args.wine)
        users = runner.prefix / "drive_c" / "users"
        self.local = next(p for p in users.iterdir() if p.name.lower() != "public")

    def wine_run(self, *args: str, timeout: float = 120) -> int:
        done = subprocess.run([self.wine, *args], env=self.runner.env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        return done.returncode

    def keys(self, root: str, folder: Path) -> dict[str, dict[str, str]]:
        return self.runner.exported_keys(root, folder)

    def ours(self, folder: Path) -> dict[str, dict[str, str]]:
        """The keys below Software\\Classes that the installer or the runtime could write."""
        names = (SCHEME, ".vlxa", ".vlxb", PROG_A.lower(), PROG_B.lower())
        return {k: v for k, v in self.keys(CLASSES, folder).items()
                if len(k.split("\\")) > 3 and k.split("\\")[3] in names}

    def remove_earlier_installs(self, folder: Path) -> None:
        """An earlier run that stopped half-way: its products go, by the codes it recorded."""
        for values in self.keys(INSTALLED, folder).values():
            for name in values:
                if name.startswith("{"):
                    self.wine_run("msiexec", "/x", name, "/qn")
        forget = folder / "forget.reg"
        forget.write_text("Windows Registry Editor Version 5.00\n\n" + "".join(
            f"[-{CLASSES}\\{key}]\n\n" for key in (SCHEME, ".vlxa", ".vlxb", PROG_A, PROG_B)),
            encoding="utf-8")
        self.wine_run("regedit", "/S", windows_path(forget))

    def run(self) -> None:
        r = self.runner
        exe = r.pack("installer", {"ID": APP_ID, "Name": NAME}, {"index.html": page("Installed")},
                     sections={"Desktop": {
                         "Schemes": SCHEME, "Version": "1.2.3",
                         "FileTypes": "application/x-velloc-a *.vlxa Velloc A files; "
                                      "application/x-velloc-b *.vlxb",
                         "Comment": "Notes [beta] 100% {yes}",
                         "Maintainer": "Jane Doe <jane@example.com>"}})
        folder = exe.parent
        # A first build of the installer, of the unsigned executable; then the executable
        # signed, the installer made of it again and signed itself.
        first, msi = folder / "first.msi", folder / "app.msi"
        for made in (first, msi):
            if made == msi:
                r.sign(exe)
            done = subprocess.run([str(r.args.velloc), "msi", str(exe), "-o", str(made),
                                   "--quiet"], capture_output=True, text=True, timeout=120)
            if done.returncode != 0:
                raise AssertionError(f"velloc msi failed: {done.stdout}{done.stderr}")
        cert = folder / "signing" / "cert.pem"
        signed = folder / "signed.msi"
        for command in (["osslsigncode", "sign", "-certs", str(cert), "-key",
                         str(folder / "signing" / "key.pem"), "-n", "Velloc test", "-in",
                         str(msi), "-out", str(signed)],
                        ["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(signed)]):
            done = subprocess.run(command, capture_output=True, text=True, timeout=60)
            if done.returncode != 0:
                raise AssertionError(f"{command[1]} of the installer failed: "
                                     f"{(done.stdout + done.stderr)[-600:]}")

        self.remove_earlier_installs(folder)
        programs = self.local / "AppData" / "Local" / "Programs"
        programs_before = programs.exists()
        start_menu = (self.local / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu"
                      / "Programs")
        # Another program has the second extension already: the installer must leave it so.
        self.wine_run("reg", "add", f"{CLASSES}\\.vlxb", "/ve", "/d", "Other.Program", "/f")

        # The second build of the same version replaces the first.
        started = time.monotonic()
        for package in (first, signed):
            r.expect(self.wine_run("msiexec", "/i", windows_path(package), "/qn") == 0,
                     f"msi: msiexec /i {package.name} failed")
        r.timings.append(("msi install, twice", time.monotonic() - started))
        products = [n for v in self.keys(INSTALLED, folder).values() for n in v
                    if n.startswith("{")]
        r.expect(len(products) == 1, f"msi: products installed: {products}")
        installed = programs / FOLDER / f"{FOLDER}.exe"
        r.expect(installed.is_file() and installed.read_bytes() == exe.read_bytes(),
                 f"msi: the signed executable is not at {installed}")
        shortcut = start_menu / f"{FOLDER}.lnk"
        r.expect(shortcut.is_file(), f"msi: no shortcut {shortcut}")
        exe_win = f"C:\\users\\{self.local.name}\\AppData\\Local\\Programs\\{FOLDER}\\{FOLDER}.exe"
        markers = self.keys(INSTALLED, folder).get(INSTALLED.lower(), {})
        product = next((v for n, v in markers.items() if n.lower() == exe_win.lower()), "")
        r.expect(product.startswith("{"), f"msi: the installed executable's record: {markers}")
        uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product
        entry = {}
        for root in ("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"):
            entry = entry or self.keys(f"{root}\\{uninstall}", folder).get(
                f"{root}\\{uninstall}".lower(), {})
        r.expect(entry.get("DisplayName") == NAME.replace("\u4e2d", "_").replace("$(", "$ (")
                 and entry.get("Publisher") == "Jane Doe",
                 f"msi: the uninstall entry: {entry}")
        icon = (self.local / "AppData" / "Roaming" / "Microsoft" / "Installer" / product
                / "AppIcon.ico")
        r.expect(icon.is_file() and icon.read_bytes()[:4] == b"\0\0\1\0",
                 f"msi: no icon {icon}")

        command, icon_value = f'"{exe_win}" "%1"', f'"{exe_win}",0'
        expected = {
            SCHEME: {"": f"URL:{FOLDER}", "URL Protocol": ""},
            f"{SCHEME}\\DefaultIcon": {"": icon_value},
            f"{SCHEME}\\shell\\open\\command": {"": command},
            ".vlxa": {"": PROG_A, "Content Type": "application/x-velloc-a"},
            ".vlxa\\OpenWithProgids": {PROG_A: ""},
            PROG_A: {"": "Velloc A files"},
            f"{PROG_A}\\DefaultIcon": {"": icon_value},
            f"{PROG_A}\\shell\\open\\command": {"": command},
            ".vlxb": {"": "Other.Program"},
            ".vlxb\\OpenWithProgids": {PROG_B: ""},
            PROG_B: {"": f"{FOLDER} file"},
            f"{PROG_B}\\DefaultIcon": {"": icon_value},
            f"{PROG_B}\\shell\\open\\command": {"": command},
        }
        expected = {f"{CLASSES}\\{k}".lower(): v for k, v in expected.items()}
        for key in (SCHEME, f"{SCHEME}\\shell", f"{SCHEME}\\shell\\open", PROG_A,
                    f"{PROG_A}\\shell", f"{PROG_A}\\shell\\open", PROG_B, f"{PROG_B}\\shell",
                    f"{PROG_B}\\shell\\open"):
            expected.setdefault(f"{CLASSES}\\{key}".lower(), {})
        r.expect(self.ours(folder) == expected,
                 f"msi: the classes installed: {self.ours(folder)}")

        # The other program goes: its extension is free now, and the installed application
        # must not take it at its start (the uninstall would not remove it).
        self.wine_run("reg", "delete", f"{CLASSES}\\.vlxb", "/ve", "/f")
        before = self.ours(folder)
        out = folder / "results"
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir()
        script = folder / "script.json"
        script.write_text('{"pages": {"file:///index.html": [{"post": {"id": 40008, "uuid": '
                          '"dir", "data": {}}, "waitMs": 10000}, {"closeWindow": true}]}}',
                          encoding="utf-8")
        env = dict(r.env, VELLOC_STANDIN_SCRIPT=windows_path(script),
                   VELLOC_STANDIN_OUT=windows_path(out))
        started = time.monotonic()
        lnk = f"C:\\users\\{self.local.name}\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu" \
              f"\\Programs\\{FOLDER}.lnk"
        subprocess.run([self.wine, "start", "/wait", lnk], env=env, timeout=120,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        r.timings.append(("msi start", time.monotonic() - started))
        results = r.read_results(out, expected=1)
        main = results[0] if results else {}
        r.expect(main.get("exitCode") == 0, f"msi: the start from the shortcut: {main}")
        folder_reply = r.replies(main).get("dir", {}).get("result", "")
        r.expect(str(folder_reply).lower() == exe_win.rsplit("\\", 1)[0].lower() + "\\",
                 f"msi: the application ran from {folder_reply!r}")
        r.expect(self.ours(folder) == before,
                 f"msi: the installed application registered on its own: {self.ours(folder)}")

        started = time.monotonic()
        r.expect(self.wine_run("msiexec", "/x", windows_path(signed), "/qn") == 0,
                 "msi: msiexec /x failed")
        r.timings.append(("msi uninstall", time.monotonic() - started))
        left = [str(p) for p in (installed.parent, shortcut, icon.parent) if p.exists()]
        if not programs_before and programs.exists():
            left.append(str(programs))
        r.expect(not left, f"msi: files left behind: {left}")
        r.expect(not self.ours(folder), f"msi: registry keys left behind: {self.ours(folder)}")
        r.expect(exe_win.lower() not in {n.lower() for v in self.keys(INSTALLED, folder).values()
                                         for n in v},
                 "msi: the installed executable's record is left behind")
        r.expect(not self.keys(f"HKEY_LOCAL_MACHINE\\{uninstall}", folder) and
                 not self.keys(f"HKEY_CURRENT_USER\\{uninstall}", folder),
                 "msi: the uninstall entry is left behind")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--standin", type=Path, required=True)
    parser.add_argument("--loader", type=Path, required=True)
    parser.add_argument("--velloc", type=Path, required=True)
    parser.add_argument("--wine", type=Path, required=True)
    parser.add_argument("--work-dir", type=Path, required=True)
    args = parser.parse_args()
    if not args.velloc.is_file():
        print(f"SKIP: no packer at {args.velloc}; build the release preset first")
        return SKIP
    if "WINEPREFIX" not in os.environ or "DISPLAY" not in os.environ:
        print("needs WINEPREFIX and DISPLAY (run it through CTest or tests/windows/xvfb-wine.sh)")
        return 2
    runner = Runner(args)
    args.work_dir.mkdir(parents=True, exist_ok=True)
    start = time.monotonic()
    try:
        Installer(runner).run()
    except Exception as error:  # noqa: BLE001 - reported as a failure with the others
        runner.failures.append(f"msi: {error!r}")
    for what, seconds in runner.timings:
        print(f"     {what}: {seconds:.1f} s")
    for failure in runner.failures:
        print(f"  - {failure}")
    print(f"msi: {time.monotonic() - start:.1f} s; {len(runner.failures)} failures")
    return 1 if runner.failures else 0


if __name__ == "__main__":
    sys.exit(main())
