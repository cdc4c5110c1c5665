#!/usr/bin/env python3
"""The dialogs, files, folders and base64 functions on the real runtime: a page drives each one
through window.vlx and reports what it got back; the effects are checked on disk, and the file
dialogs are answered with xdotool."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from harness import (PAGE_HELPERS, RESOLVED, XSession, E2EError, expect, expect_eq,  # noqa: E402
                     page, run_cases, settled, wait_until)

BOM = b"\xef\xbb\xbf"
PAYLOAD = bytes(range(256)) * 40  # the package entry that extractFile copies out

REJECTED = "rejected"

# Every call of the page settles within 10 s. The page writes an object of settle() results to
# result.json beside the executable, then reports {saved} as its title.
FILES_PAGE = page("<p>files</p>" + PAGE_HELPERS + r"""
<script>
const s = (promise) => settle(promise, 10000);
const F = vlx.files, D = vlx.folders;
async function run() {
  const r = {};
  const exeDir = (await s(D.getAppExecutableDir())).value;
  r.getters = {
    exe: exeDir,
    temp: await s(D.getTempDir()),
    documents: await s(D.getUserDocumentsDir()),
    desktop: await s(D.getUserDesktopDir()),
    appData: await s(D.getAppDataDir()),
  };
  r.write = {
    lines: await s(F.writeTextFile({filePath: "work/text/lines.txt",
                                    contents: "a\nb\r\nc\rd\n\n\u00e9\u20ac\u0000dropped"})),
    noContents: await s(F.writeTextFile({filePath: "work/text/empty.txt"})),
    backslashes: await s(F.writeTextFile({filePath: "work\\text\\back.txt", contents: "x"})),
    absolute: await s(F.writeTextFile({filePath: exeDir + "work/abs.txt", contents: "abs"})),
    replace: await s(F.writeTextFile({filePath: "work/existing.txt", contents: "new"})),
    onFolder: await s(F.writeTextFile({filePath: "work/folder-target", contents: "x"})),
    locked: await s(F.writeTextFile({filePath: LOCKED, contents: "new"})),
  };
  r.decode = {
    abc: await s(vlx.base64.decodeToFile({filePath: "work/b64/abc.bin", contents: "QUJD"})),
    ab: await s(vlx.base64.decodeToFile({filePath: "work/b64/ab.bin", contents: "QUI="})),
    partial: await s(vlx.base64.decodeToFile({filePath: "work/b64/partial.bin",
                                              contents: "QUJDRA"})),
    empty: await s(vlx.base64.decodeToFile({filePath: "work/b64/empty.bin", contents: ""})),
    locked: await s(vlx.base64.decodeToFile({filePath: LOCKED, contents: "QUJD"})),
  };
  r.exists = {
    file: await s(F.fileExists({filePath: "work/text/lines.txt"})),
    fileAbsolute: await s(F.fileExists({filePath: exeDir + "work/text/lines.txt"})),
    fileOnFolder: await s(F.fileExists({filePath: "work/text"})),
    fileMissing: await s(F.fileExists({filePath: "work/none.txt"})),
    dir: await s(D.dirExists({dirPath: "work/text"})),
    dirOnFile: await s(D.dirExists({dirPath: "work/text/lines.txt"})),
  };
  r.createDir = {
    one: await s(D.createDir({dirPath: "work/made"})),
    again: await s(D.createDir({dirPath: "work/made"})),
    twoLevels: await s(D.createDir({dirPath: "work/no/such"})),
  };
  r.deleteFile = {
    file: await s(F.deleteFile({filePath: "work/todelete.txt"})),
    again: await s(F.deleteFile({filePath: "work/todelete.txt"})),
    folder: await s(F.deleteFile({filePath: "work/text"})),
  };
  r.deleteDir = {
    tree: await s(D.deleteDir({dirPath: "work/tree"})),
    file: await s(D.deleteDir({dirPath: "work/plain.txt"})),
    missing: await s(D.deleteDir({dirPath: "work/tree"})),
  };
  r.list = {
    recursive: await s(D.listFiles({dirPath: "list", fileMask: "*.txt", allDirs: true})),
    flat: await s(D.listFiles({dirPath: "list", fileMask: "*.txt", allDirs: "false"})),
    everything: await s(D.listFiles({dirPath: "list", fileMask: "*.*", allDirs: "TRUE"})),
    empty: await s(D.listFiles({dirPath: "list/empty", fileMask: "*.*", allDirs: true})),
    missing: await s(D.listFiles({dirPath: "list/none", fileMask: "*", allDirs: true})),
    badMask: await settle(D.listFiles({dirPath: "list", fileMask: "a/b", allDirs: true}), 1000),
  };
  r.extract = {
    ok: await s(F.extractFile({sourceFile: "/data/payload.bin",
                               targetFile: exeDir + "work/extracted.bin"})),
    missing: await s(F.extractFile({sourceFile: "/data/none.bin",
                                    targetFile: exeDir + "work/keep.bin"})),
    noSeparator: await s(F.extractFile({sourceFile: "data/payload.bin",
                                        targetFile: exeDir + "work/keep.bin"})),
  };
  r.missingArgs = {
    filePath: await s(F.fileExists({})),
    dirPath: await s(D.dirExists({dirPath: null})),
    fileMask: await s(D.listFiles({dirPath: "list", allDirs: true})),
    allDirs: await s(D.listFiles({dirPath: "list", fileMask: "*"})),
    sourceFile: await s(F.extractFile({targetFile: "x"})),
    targetFile: await s(F.extractFile({sourceFile: "/data/payload.bin"})),
    base64: await s(vlx.base64.decodeToFile({contents: "QUJD"})),
  };
  // Window titles are cut at 1000 characters: the full result goes to a file.
  const saved = await s(F.writeTextFile({filePath: "result.json", contents: JSON.stringify(r)}));
  report({saved});
}
run().catch((e) => report({error: String(e)}));
</script>""")


def ok(value: object) -> dict:
    return settled(RESOLVED, value)


def failed(text: str) -> dict:
    return settled(REJECTED, text)


def check_all(result: dict, expected: dict, what: str) -> None:
    mismatches = [f"{key}: got {result.get(key)!r}, expected {value!r}"
                  for key, value in expected.items() if result.get(key) != value]
    expect(not mismatches, f"{what}: " + "; ".join(mismatches))


def listing(folder: Path, suffixes: tuple[str, ...] | None, recursive: bool) -> list[str]:
    """The paths listFiles gives: each folder's entries in the order the system returns them,
    a subfolder's files at its place."""
    out: list[str] = []
    with os.scandir(folder) as entries:
        for entry in entries:
            if entry.is_dir(follow_symlinks=False):
                if recursive:
                    out += listing(Path(entry.path), suffixes, recursive)
            elif suffixes is None or entry.name.lower().endswith(suffixes):
                out.append(entry.path)
    return out


def lock(path: Path) -> str:
    """Makes replacing the file fail: immutable when the file system allows it (even root cannot
    rename over it), else a folder without write permission. Returns how."""
    if subprocess.run(["chattr", "+i", str(path)], capture_output=True).returncode == 0:
        return "immutable"
    path.parent.chmod(0o555)
    return "read-only folder"


def unlock(path: Path) -> None:
    subprocess.run(["chattr", "-i", str(path)], capture_output=True)
    path.parent.chmod(0o755)


def file_functions(args, artifacts: Path) -> None:
    work = artifacts / "work"
    with XSession("files", artifacts, args.bin_dir) as session:
        home = Path(session.env["HOME"])
        config = Path(session.env["XDG_CONFIG_HOME"])
        (config / "user-dirs.dirs").write_text(
            'XDG_DESKTOP_DIR="$HOME/MyDesktop"\nXDG_DOCUMENTS_DIR="$HOME/MyDocs"\n')
        # The file that cannot be replaced lives in the session's temporary folder, not among
        # the artifacts, so a run killed while it was locked cannot block the next run.
        expect(session.root is not None, "the session has a folder")
        locked = session.root / "locked" / "target.txt"  # type: ignore[operator]
        locked.parent.mkdir()
        locked.write_bytes(b"old")
        index = FILES_PAGE.replace("LOCKED", json.dumps(str(locked)))
        exe = session.make_app("files", {"ID": "E2EFiles", "Name": "Files", "DynamicAppTitle": 1},
                               {"index.html": index, "data/payload.bin": PAYLOAD})

        # What the page finds on disk.
        (work / "folder-target").mkdir(parents=True)
        (work / "existing.txt").write_bytes(b"old")
        (work / "existing.txt").chmod(0o640)
        (work / "todelete.txt").write_bytes(b"x")
        (work / "plain.txt").write_bytes(b"x")
        (work / "keep.bin").write_bytes(b"keep")
        for name in ("tree/a/b/deep.txt", "tree/.hidden", "tree/top.txt"):
            (work / name).parent.mkdir(parents=True, exist_ok=True)
            (work / name).write_bytes(b"t")
        lst = artifacts / "list"
        for name in ("a.txt", "B.TXT", "c.log", ".hidden.txt", 'quote"name.txt', "new\nline.txt",
                     "tab\there.txt", "back\\slash.txt", "sub/d.txt", "sub/deeper/e.txt",
                     "sub/deeper/f.log", "sub2/g.txt", "z.txt"):
            (lst / name).parent.mkdir(parents=True, exist_ok=True)
            (lst / name).write_bytes(b"l")
        (lst / "empty").mkdir()

        how = lock(locked)
        try:
            app = session.launch(exe)
            wid = app.wait_window()
            result = session.wait_result(app, wid, timeout=60)
        finally:
            unlock(locked)
        expect("error" not in result, f"the page failed: {result.get('error')}")
        expect_eq(result.get("saved"), ok(True), "saving the result")
        # writeTextFile writes a byte-order mark and ends the one line with CR LF.
        result = json.loads((artifacts / "result.json").read_text(encoding="utf-8-sig"))

        exe_dir = str(artifacts) + "/"
        check_all(result["getters"], {
            "exe": exe_dir,
            "temp": ok(os.environ.get("TMPDIR", "/tmp").rstrip("/") + "/"),
            "documents": ok(f"{home}/MyDocs/"),
            "desktop": ok(f"{home}/MyDesktop/"),
            "appData": ok(f"{config}/"),
        }, "folder getters")

        w = result["write"]
        check_all(w, {key: ok(True) for key in
                      ("lines", "noContents", "backslashes", "absolute", "replace")},
                  "writeTextFile")
        expect_eq((work / "text/lines.txt").read_bytes(),
                  BOM + "a\r\nb\r\nc\r\nd\r\n\r\né€\r\n".encode(), "bytes of lines.txt")
        expect_eq((work / "text/back.txt").read_bytes(), BOM + b"x\r\n", "bytes of back.txt")
        expect_eq((work / "abs.txt").read_bytes(), BOM + b"abs\r\n", "bytes of abs.txt")
        expect_eq((work / "existing.txt").read_bytes(), BOM + b"new\r\n", "replaced file")
        expect_eq((work / "existing.txt").stat().st_mode & 0o777, 0o640, "mode of replaced file")
        # Forced failures: the old file or folder stays, no temporary file is left behind.
        for key in ("onFolder", "locked"):
            expect(w[key]["state"] == REJECTED, f"writeTextFile {key}: {w[key]}")
        expect((work / "folder-target").is_dir(), "the folder target is still a folder")
        expect_eq(locked.read_bytes(), b"old", f"the locked file ({how})")
        expect(result["decode"]["locked"]["state"] == REJECTED,
               f"decodeToFile on the locked file: {result['decode']['locked']}")
        leftovers = [p.name for folder in (work, locked.parent) for p in folder.rglob("*")
                     if ".vlx-" in p.name]
        expect(not leftovers, f"temporary files left: {leftovers}")

        check_all(result["decode"], {k: ok(True) for k in ("abc", "ab", "partial", "empty")},
                  "decodeToFile")
        for name, data in (("abc", b"ABC"), ("ab", b"AB"), ("partial", b"ABC"), ("empty", b"")):
            expect_eq((work / f"b64/{name}.bin").read_bytes(), data, f"bytes of {name}.bin")

        check_all(result["exists"], {"file": ok(True), "fileAbsolute": ok(True),
                                     "fileOnFolder": ok(False), "fileMissing": ok(False),
                                     "dir": ok(True), "dirOnFile": ok(False)}, "exists")
        check_all(result["createDir"], {"one": ok(True), "again": ok(True),
                                        "twoLevels": ok(False)}, "createDir")
        expect((work / "made").is_dir() and not (work / "no").exists(), "createDir on disk")
        check_all(result["deleteFile"], {"file": ok(True), "again": ok(False),
                                         "folder": ok(False)}, "deleteFile")
        check_all(result["deleteDir"], {"tree": ok(True), "file": ok(True),
                                        "missing": ok(False)}, "deleteDir")
        expect(not (work / "tree").exists() and not (work / "plain.txt").exists(),
               "deleteDir on disk")

        check_all(result["list"], {
            "recursive": ok(listing(lst, (".txt",), True)),
            "flat": ok(listing(lst, (".txt",), False)),
            "everything": ok(listing(lst, None, True)),
            "empty": ok([]),
            "missing": failed("The specified folder does not exist."),
            "badMask": {"state": "pending"},
        }, "listFiles")
        expect_eq(len(result["list"]["recursive"]["value"]), 11, "files found by *.txt")

        check_all(result["extract"], {"ok": ok(True), "missing": failed("File not found"),
                                      "noSeparator": failed("File not found")}, "extractFile")
        expect_eq((work / "extracted.bin").read_bytes(), PAYLOAD, "extracted bytes")
        expect_eq((work / "keep.bin").read_bytes(), b"keep", "target of a missing entry")

        check_all(result["missingArgs"], {
            "filePath": failed("Missing filePath"), "dirPath": failed("Missing dirPath"),
            "fileMask": failed("Missing fileMask"), "allDirs": failed("Missing allDirs"),
            "sourceFile": failed("Missing sourceFile"), "targetFile": failed("Missing targetFile"),
            "base64": failed("Missing filePath")}, "missing arguments")

        expect(app.running(), "the runtime ended")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code")


# Each dialog gets a title of its own, so the test knows which one is showing.
DIALOGS_PAGE = page("<p>dialogs</p>" + PAGE_HELPERS + r"""
<script>
const s = (promise) => settle(promise, 60000);
async function run() {
  const r = {};
  const exeDir = await vlx.folders.getAppExecutableDir();
  r.open = await s(vlx.dialogs.openFile({title: "Open step",
                                         fileTypes: "Text files|*.TXT;*.md;All files|*.*"}));
  r.cancel = await s(vlx.dialogs.openFile({title: "Cancel step"}));
  r.save = await s(vlx.dialogs.saveFile({title: "Save step", fileName: "typed.txt"}));
  r.overwrite = await s(vlx.dialogs.saveFile({title: "Overwrite step",
                                              fileName: exeDir + "existing.txt",
                                              overwritePrompt: true}));
  r.noPrompt = await s(vlx.dialogs.saveFile({title: "No prompt step",
                                             fileName: exeDir + "existing.txt"}));
  r.folder = await s(vlx.dialogs.selFolder({title: "Folder step"}));
  r.folderCancel = await s(vlx.dialogs.selFolder({}));
  report(r);
}
run().catch((e) => report({error: String(e)}));
</script>""")


class Dialogs:
    """Finds the dialogs of one app by title and answers them with keys."""

    def __init__(self, session: XSession, app, main: int):
        self.session, self.app, self.main = session, app, main

    def find(self, title: str) -> list[int]:
        # --all: both conditions (xdotool otherwise takes windows that meet either).
        out = self.session.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                str(self.app.pid), "--name", f"^{title}$"], check=False).stdout
        return [int(w) for w in out.split()]

    def wait(self, title: str) -> int:
        wid = wait_until(lambda: (self.find(title) or [None])[0], 30, f"the dialog {title!r}")
        owner = self.session.xprop(wid, "WM_TRANSIENT_FOR")
        expect(hex(self.main) in owner or str(self.main) in owner,
               f"the dialog {title!r} belongs to the main window: {owner.strip()}")
        self.session.x("xdotool", "windowactivate", "--sync", str(wid))
        time.sleep(0.7)  # the chooser takes keys only once it has loaded its first folder
        return wid

    # Real key events to the focused window: GTK ignores events sent to a window directly.
    def keys(self, wid: int, *keys: str) -> None:
        self.session.x("xdotool", "windowactivate", "--sync", str(wid))
        self.session.x("xdotool", "key", "--clearmodifiers", *keys)

    def type(self, wid: int, text: str) -> None:
        self.session.x("xdotool", "windowactivate", "--sync", str(wid))
        self.session.x("xdotool", "type", "--clearmodifiers", "--delay", "20", text)
        time.sleep(0.5)  # the location entry completes the typed path

    def gone(self, title: str) -> None:
        """Waits until no window has the title. The runtime keeps its choosers between calls,
        so the next call may show the same window again under a new title."""
        try:
            wait_until(lambda: not self.find(title), 20, f"the dialog {title!r} to close")
        except E2EError:
            self.session.screenshot(self.session.artifacts / "dialog.png")
            raise


def dialogs(args, artifacts: Path) -> None:
    with XSession("dialogs", artifacts, args.bin_dir) as session:
        exe = session.make_app("dialogs", {"ID": "E2EDialogs", "Name": "Dialogs",
                                           "DynamicAppTitle": 1}, {"index.html": DIALOGS_PAGE})
        picked = artifacts / "picked.txt"
        picked.write_text("p")
        existing = artifacts / "existing.txt"
        existing.write_text("e")
        saved = artifacts / "saved.txt"
        folder = artifacts / "chosen"
        folder.mkdir()

        app = session.launch(exe)
        main = app.wait_window()
        d = Dialogs(session, app, main)

        # Open: a typed path and Enter picks the file.
        wid = d.wait("Open step")
        d.keys(wid, "ctrl+l")
        d.type(wid, str(picked))
        d.keys(wid, "Return")
        d.gone("Open step")
        # Cancel: Escape.
        wid = d.wait("Cancel step")
        d.keys(wid, "Escape")
        d.gone("Cancel step")
        # Save: the typed name replaces the proposed one; the dialog writes nothing.
        wid = d.wait("Save step")
        d.keys(wid, "ctrl+a")
        d.type(wid, str(saved))
        d.keys(wid, "Return")
        d.gone("Save step")
        # Overwrite prompt: choosing the existing file asks first.
        wid = d.wait("Overwrite step")
        before = set(session.find_windows(pid=app.pid))
        d.keys(wid, "Return")
        confirm = wait_until(lambda: set(session.find_windows(pid=app.pid)) - before, 20,
                             "the question before replacing")
        confirm_wid = next(iter(confirm))
        session.x("xdotool", "windowactivate", "--sync", str(confirm_wid))
        d.keys(confirm_wid, "alt+r")  # _Replace
        d.gone("Overwrite step")
        # Without the prompt the same choice is taken at once.
        wid = d.wait("No prompt step")
        d.keys(wid, "Return")
        d.gone("No prompt step")
        # Folder: typed path of a folder, then Enter to take it.
        wid = d.wait("Folder step")
        d.keys(wid, "ctrl+l")
        d.type(wid, str(folder) + "/")
        d.keys(wid, "Return")
        d.gone("Folder step")
        wid = d.wait("Save file")
        d.keys(wid, "Escape")
        d.gone("Save file")

        result = session.wait_result(app, main, timeout=30)
        expect("error" not in result, f"the page failed: {result.get('error')}")
        check_all(result, {
            "open": ok(str(picked)),
            "cancel": ok(""),
            "save": ok(str(saved)),
            "overwrite": ok(str(existing)),
            "noPrompt": ok(str(existing)),
            "folder": ok(str(folder) + "/"),
            "folderCancel": ok(""),
        }, "dialogs")
        expect(not saved.exists(), "the save dialog wrote nothing")
        expect_eq(existing.read_text(), "e", "the file chosen for saving")
        session.close_window(main)
        expect_eq(app.wait(20), 0, "exit code")


NO_USER_DIRS_PAGE = page("<p>folders</p>" + PAGE_HELPERS + r"""
<script>
const s = (promise) => settle(promise, 10000);
async function run() {
  const documents = await s(vlx.folders.getUserDocumentsDir());
  report({
    documents,
    desktop: await s(vlx.folders.getUserDesktopDir()),
    // Never into the root, where a wrong answer would have it write.
    saved: documents.value === "/" ? {state: "not tried"}
      : await s(vlx.files.writeTextFile({filePath: documents.value + "report.txt",
                                         contents: "r"})),
  });
}
run().catch((e) => report({error: String(e)}));
</script>""")


def folders_without_user_dirs(args, artifacts: Path) -> None:
    """Without a user-dirs.dirs (no XDG user folders configured) the documents and desktop
    folders are those of xdg-user-dirs' defaults under HOME, never the root, and a page saving
    "to documents" writes there."""
    with XSession("nodirs", artifacts, args.bin_dir) as session:
        home = Path(session.env["HOME"])
        expect(not (Path(session.env["XDG_CONFIG_HOME"]) / "user-dirs.dirs").exists(),
               "the session has no user-dirs.dirs")
        exe = session.make_app("nodirs", {"ID": "E2ENoDirs", "Name": "Folders",
                                          "DynamicAppTitle": 1}, {"index.html": NO_USER_DIRS_PAGE})
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=30)
        expect("error" not in result, f"the page failed: {result.get('error')}")
        check_all(result, {"documents": ok(f"{home}/Documents/"),
                           "desktop": ok(f"{home}/Desktop/"), "saved": ok(True)}, "folders")
        expect_eq((home / "Documents" / "report.txt").read_bytes(), BOM + b"r\r\n",
                  "the file saved to documents")
        session.close_window(wid)
        expect_eq(app.wait(20), 0, "exit code")


# The page closes the application while a dialog it opened is on screen.
CLOSE_DURING_FILE_DIALOG = page("<p>closing</p>", title="asking", head="""<script>
vlx.dialogs.openFile({title: "Close step"}).then((v) => { document.title = "ANSWERED:" + v; });
setTimeout(() => { document.title = "CLOSING"; vlx.app.close(); }, 1500);
</script>""")
CLOSE_DURING_MESSAGE = page("<p>closing</p>", title="asking", head="""<script>
setTimeout(() => { vlx.app.close(); alert("Message step"); }, 500);
</script>""")


def close_during_dialogs(args, artifacts: Path) -> None:
    """A page that closes the application while one of its dialogs is open: the runtime ends
    the dialog (or waits for it) and exits with 0, also when the dialog is answered afterwards,
    whose reply then goes nowhere. Once with a file dialog, once with the page's own message
    dialog (alert)."""
    with XSession("closedialog", artifacts, args.bin_dir) as session:
        exe = session.make_app("closefile", {"ID": "E2ECloseFile", "Name": "Close file",
                                             "DynamicAppTitle": 1},
                               {"index.html": CLOSE_DURING_FILE_DIALOG})
        app = session.launch(exe)
        main = app.wait_window()
        d = Dialogs(session, app, main)
        dialog = d.wait("Close step")

        def closed_or_closing() -> bool:
            return (not app.running() or main not in app.windows()
                    or session.title(main) == "CLOSING")

        wait_until(closed_or_closing, 20, "the page's close")
        # A dialog still up after the close is answered, as a user would.
        if app.running() and d.find("Close step"):
            d.keys(dialog, "Escape")
        expect_eq(app.wait(20), 0, f"exit code; output:\n{app.output()}")

        exe = session.make_app("closemessage", {"ID": "E2ECloseMessage", "Name": "Close message"},
                               {"index.html": CLOSE_DURING_MESSAGE})
        app = session.launch(exe)
        main = app.wait_window()
        try:
            code = app.wait(8)
        except E2EError:
            session.press(main, "Return")  # the alert waited: answer it
            code = app.wait(20)
        expect_eq(code, 0, f"exit code; output:\n{app.output()}")


CASES = {"file_functions": file_functions, "dialogs": dialogs,
         "folders_without_user_dirs": folders_without_user_dirs,
         "close_during_dialogs": close_during_dialogs}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
