#!/usr/bin/env python3
"""The application on the desktop: its desktop entry, URL scheme and file type open it with
the link or file as its argument, a later start reaches the running window, and the Debian
package of `velloc pack --deb` validates, installs, starts from its desktop entry and goes
again without a trace; so does the RPM of `velloc pack --rpm`, with the same files."""

from __future__ import annotations

import json
import os
import platform
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

from harness import XSession, expect, expect_eq, page, run_cases, wait_until, write_app

APP_ID = "com.example.VellocE2E"
PACKAGE = "velloc-app-com.example.velloce2e"  # the ID as a Debian package name and command
INI = {"ID": APP_ID, "Name": "Velloc E2E", "DynamicAppTitle": 1}
DESKTOP = """
[Desktop]
Schemes=velloc-e2e vellocdesk
FileTypes=application/x-velloc-e2e *.vlxe2e Velloc test document
Comment=A test of desktop integration
Categories=Utility
Version=1.2.3
"""
INDEX = page("<p>desktop</p>", title="starting", head="""<script>
vlx.app.getArgs().then((a) => { document.title = "ARGS:" + JSON.stringify(a.slice(1)); });
vlx.events.onSecondInstance = (a) => { document.title = "SECOND:" + JSON.stringify(a); };
</script>""")


def make_folder(artifacts: Path, ini: dict[str, object] = INI) -> Path:
    folder = write_app(artifacts / "app", ini, {"index.html": INDEX})
    with open(folder / "vlx.ini", "a", encoding="utf-8") as ini:
        ini.write(DESKTOP)
    return folder


def window_titled(session: XSession, prefix: str) -> tuple[int, list[str]]:
    """The window whose title begins with `prefix`, and the JSON list after "ARGS:" or
    "SECOND:"."""
    def found():
        for wid in session.find_windows(name="^(ARGS|SECOND):"):
            title = session.title(wid)
            if title.startswith(prefix):
                return wid, json.loads(title.split(":", 1)[1])
        return None
    return wait_until(found, 30, f"a window titled {prefix}...")  # type: ignore[return-value]


def end_processes(exe: Path) -> None:
    subprocess.run(["pkill", "-f", str(exe)], check=False)


def scheme_and_file_type(args, artifacts: Path) -> None:
    """With the desktop files of `velloc pack --desktop-files` in the user's data folder,
    xdg-open of a link of the application's scheme starts it with the link; opening a file of
    its type, or another link, while it runs brings the window forward with it. (Debian 12's
    xdg-open takes an address whose scheme holds a digit for a file name, so the link of
    "velloc-e2e" goes through GIO's launcher, as from a GTK application or a browser.)"""
    with XSession("open", artifacts, args.bin_dir) as session:
        data = Path(session.env["XDG_DATA_HOME"])
        bin_dir = artifacts / "bin"
        bin_dir.mkdir()
        exe = artifacts / "VellocE2E"
        session.run([str(args.bin_dir / "velloc"), "pack", str(make_folder(artifacts)), "-o",
                     str(exe), "--quiet", "--desktop-files", str(data)])
        (bin_dir / PACKAGE).symlink_to(exe)
        session.run(["update-desktop-database", str(data / "applications")])
        session.run(["update-mime-database", str(data / "mime")])
        env = {"PATH": f"{bin_dir}:{os.environ['PATH']}"}
        try:
            # In a session without a desktop environment, xdg-open waits for what it starts.
            session.launch("xdg-open", "vellocdesk://open?note=1", env=env)
            wid, arguments = window_titled(session, "ARGS:")
            expect_eq(arguments, ["vellocdesk://open?note=1"], "the arguments of the link's start")
            session.launch("gio", "open", "velloc-e2e://x", env=env)
            _, arguments = window_titled(session, 'SECOND:["velloc-e2e')

            document = artifacts / "note one.vlxe2e"
            document.write_text("a note", encoding="utf-8")
            filetype = session.run(["xdg-mime", "query", "filetype", str(document)]).stdout
            expect_eq(filetype.strip(), "application/x-velloc-e2e", "the file's type")
            session.launch("xdg-open", str(document), env=env)
            _, arguments = window_titled(session, 'SECOND:["/')
            expect_eq(arguments, [str(document)], "the arguments handed to the running window")
            active = session.xprop_root("_NET_ACTIVE_WINDOW").split()[-1]
            expect_eq(int(active, 16), wid, "the active window")
        finally:
            end_processes(exe)


def debian_package(args, artifacts: Path) -> None:
    """`velloc pack --deb` builds a package that dpkg-deb reads and desktop-file-validate
    accepts; as root it installs, starts from its desktop entry's Exec line and removes
    cleanly. Files planted beforehand where earlier packers staged their packages stay out of
    it, and a control character in the name reaches none of its files."""
    with XSession("deb", artifacts, args.bin_dir) as session:
        out = artifacts / "out"
        planted = out / f".velloc-deb-{PACKAGE}" / "etc" / "cron.d"
        planted.mkdir(parents=True)
        (planted / "planted").write_text("* * * * * root touch /tmp/planted\n")
        ini = dict(INI, Name="Velloc\x01E2E & <co>")
        session.run([str(args.bin_dir / "velloc"), "pack", str(make_folder(artifacts, ini)), "-o",
                     str(out / "VellocE2E"), "--quiet", "--deb"])
        debs = list(out.glob("*.deb"))
        expect_eq([d.name for d in debs], [f"{PACKAGE}_1.2.3_amd64.deb"], "the package built")
        deb = debs[0]
        info = session.run(["dpkg-deb", "--info", str(deb)]).stdout
        for wanted in (f"Package: {PACKAGE}", "Version: 1.2.3", "libgtk-3-0",
                       "libwebkit2gtk-4.1-0"):
            expect(wanted in info, f"{wanted!r} not in the control file:\n{info}")
        contents = session.run(["dpkg-deb", "--contents", str(deb)]).stdout
        expect("cron" not in contents and "planted" not in contents,
               f"planted files in the package:\n{contents}")
        staged = sorted(p.name for p in out.iterdir() if p.name.startswith(".velloc-deb-"))
        expect_eq(staged, [f".velloc-deb-{PACKAGE}"], "staging folders left (the planted one)")
        expect_eq(session.run(["dpkg-deb", "--field", str(deb), "Description"]).stdout,
                  "A test of desktop integration\n Velloc E2E & <co>, a web application packed "
                  "with Velloc.\n", "the control file's description")
        for wanted in (f"./usr/lib/{PACKAGE}/{PACKAGE}", f"./usr/bin/{PACKAGE} -> ",
                       f"./usr/share/applications/{APP_ID}.desktop",
                       f"./usr/share/icons/hicolor/48x48/apps/{APP_ID}.png",
                       f"./usr/share/metainfo/{APP_ID}.metainfo.xml",
                       f"./usr/share/mime/packages/{APP_ID}.xml"):
            expect(wanted in contents, f"{wanted!r} not in the package:\n{contents}")
        unpacked = artifacts / "unpacked"
        session.run(["dpkg-deb", "--extract", str(deb), str(unpacked)])
        entry = unpacked / "usr/share/applications" / f"{APP_ID}.desktop"
        session.run(["desktop-file-validate", str(entry)])
        expect("Name=Velloc E2E & <co>\n" in entry.read_text(), "the name in the desktop entry")
        metainfo = ElementTree.parse(unpacked / "usr/share/metainfo" / f"{APP_ID}.metainfo.xml")
        expect_eq(metainfo.findtext("name"), "Velloc E2E & <co>", "the name in the metainfo")
        ElementTree.parse(unpacked / "usr/share/mime/packages" / f"{APP_ID}.xml")

        if os.geteuid() != 0 or shutil.which("dpkg") is None:
            print("not root: the package is not installed")
            return
        session.run(["dpkg", "-i", str(deb)], timeout=120)
        try:
            exec_line = next(line for line in entry.read_text().splitlines()
                             if line.startswith("Exec="))
            command = exec_line[5:].split()[0]
            expect_eq(command, f"/usr/bin/{PACKAGE}", "the desktop entry's command")
            app = session.launch(command, "velloc-e2e://installed")
            wid, arguments = window_titled(session, "ARGS:")
            expect_eq(arguments, ["velloc-e2e://installed"], "the installed program's arguments")
            session.close_window(wid)
            expect_eq(app.wait(20), 0, "exit code of the installed program")
        finally:
            session.run(["dpkg", "-r", PACKAGE], timeout=120)
        left = [p for p in (Path(f"/usr/lib/{PACKAGE}"), Path(f"/usr/bin/{PACKAGE}"),
                            Path(f"/usr/share/applications/{APP_ID}.desktop")) if p.exists()]
        expect(not left, f"left behind after removal: {left}")


def rpm_package(args, artifacts: Path) -> None:
    """`velloc pack --rpm` builds an RPM that rpm reads, with the Debian package's files (both
    are built here and compared), the libraries of the runtime and its WebKit module as its
    dependencies in RPM's form, and a desktop entry desktop-file-validate accepts. As root it
    installs into a scratch root with `rpm --root` (with --nodeps: the scratch root holds none
    of the libraries it requires), starts from its desktop entry's command there, is the packed
    executable byte for byte, and is removed without a trace."""
    with XSession("rpm", artifacts, args.bin_dir) as session:
        out = artifacts / "out"
        out.mkdir()
        ini = dict(INI, Name="Velloc\x01E2E 100% %{_bindir}")
        session.run([str(args.bin_dir / "velloc"), "pack", str(make_folder(artifacts, ini)), "-o",
                     str(out / "VellocE2E"), "--quiet", "--deb", "--rpm"], timeout=120)
        rpms = list(out.glob("*.rpm"))
        expect_eq([r.name for r in rpms], [f"{PACKAGE}-1.2.3-1.{platform.machine()}.rpm"],
                  "the package built")
        rpm = rpms[0]
        info = session.run(["rpm", "-qpil", str(rpm)]).stdout
        for wanted in (f"Name        : {PACKAGE}\n", "Version     : 1.2.3\n",
                       "Release     : 1\n", "Summary     : A test of desktop integration\n",
                       "Velloc E2E 100% %{_bindir}, a web application packed with Velloc."):
            expect(wanted in info, f"{wanted!r} not in rpm -qpil:\n{info}")
        listed = session.run(["rpm", "-qpl", str(rpm)]).stdout.split()
        deb = next(out.glob("*.deb"))
        deb_files = [line.split()[5].lstrip(".") for line in
                     session.run(["dpkg-deb", "--contents", str(deb)]).stdout.splitlines()
                     if not line.endswith("/") or line.endswith(f"/usr/lib/{PACKAGE}/")]
        expect_eq(sorted(listed), sorted(p.rstrip("/") for p in deb_files),
                  "the RPM's files against the Debian package's")
        requires = session.run(["rpm", "-qp", "--requires", str(rpm)]).stdout.splitlines()
        for wanted in ("libgtk-3.so.0()(64bit)", "libwebkit2gtk-4.1.so.0()(64bit)",
                       "libc.so.6()(64bit)", "rtld(GNU_HASH)"):
            expect(wanted in requires, f"{wanted!r} not required:\n{requires}")
        staged = [p.name for p in out.iterdir() if p.name.startswith(".velloc-")]
        expect_eq(staged, [], "staging folders left")

        if os.geteuid() != 0:
            print("not root: the package is not installed")
            return
        scratch = artifacts / "root"
        session.run(["rpm", "--root", str(scratch), "--initdb"])
        session.run(["rpm", "--root", str(scratch), "-i", "--nodeps", str(rpm)], timeout=120)
        entry = scratch / "usr/share/applications" / f"{APP_ID}.desktop"
        session.run(["desktop-file-validate", str(entry)])
        exec_line = next(line for line in entry.read_text().splitlines()
                         if line.startswith("Exec="))
        command = exec_line[5:].split()[0]
        expect_eq(command, f"/usr/bin/{PACKAGE}", "the desktop entry's command")
        installed = scratch / command.lstrip("/")
        expect(installed.resolve().read_bytes() == (out / "VellocE2E").read_bytes(),
               "the installed program is not the packed executable")
        app = session.launch(installed, "velloc-e2e://installed")
        try:
            wid, arguments = window_titled(session, "ARGS:")
            expect_eq(arguments, ["velloc-e2e://installed"], "the installed program's arguments")
            session.close_window(wid)
            expect_eq(app.wait(20), 0, "exit code of the installed program")
        finally:
            app.kill()
        session.run(["rpm", "--root", str(scratch), "-e", PACKAGE], timeout=120)
        left = [str(p) for p in (scratch / "usr").rglob("*") if not p.is_dir()]
        expect(not left, f"left behind after removal: {left}")


CASES = {"scheme_and_file_type": scheme_and_file_type, "debian_package": debian_package,
         "rpm_package": rpm_package}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
