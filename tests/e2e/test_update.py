#!/usr/bin/env python3
"""Signed updates, end to end: packed applications check for, download and install a new version
from a web server on this machine, restart into it and confirm it; a wrong or cut update leaves
the running version in place and the page is told why; a new version that does not come up is
rolled back at the next start.

The keys and manifests are made with `velloc keygen` and `velloc update-manifest`, as an author
makes them. The server is a small HTTP server of this script, on 127.0.0.1 (plain HTTP is
allowed there only), shared with the Windows whole-program test."""

from __future__ import annotations

import hashlib
import json
import os
import sys
from pathlib import Path

from harness import E2EError, XSession, expect, expect_eq, page, run_cases, wait_until

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "shared"))

from update_server import Server  # noqa: E402

# The page: a results file beside the executable for every step, so that the test sees what
# happened even when the window goes (a restart) right after.
PAGE = r"""
<p id="state">version %VERSION%</p>
<script>
const MODE = "%MODE%";
const save = (name, value) =>
  vlx.files.writeTextFile({filePath: name, contents: JSON.stringify(value)});
const settle = (promise) => promise.then((value) => ({ok: true, value}),
                                         (value) => ({ok: false, value}));
let progress = [];
vlx.events.onUpdateProgress = (received, total) => {
  progress.push([received, total]);
  // The server pauses halfway, so this is written while the download waits.
  if (progress.length === 1) save("progress.json", progress);
};
async function run() {
  const check = await settle(vlx.app.checkForUpdate());
  if (MODE === "new") return save("new.json", check);
  if (MODE === "refusals") {
    const refusals = [];
    for (let i = 0; i < %REFUSALS%; i++) refusals.push(await settle(vlx.app.installUpdate()));
    return save("refusals.json", {check, refusals, after: await settle(vlx.app.checkForUpdate())});
  }
  if (check.ok && check.value.rolledBack) return save("after-rollback.json", check);
  await save("check.json", check);
  const installed = await settle(vlx.app.installUpdate());
  if (!installed.ok) save("failed.json", installed);
}
run().catch((e) => save("error.json", String(e)));
</script>
"""


class Release:
    """One application folder packed as several versions, signed with one key."""

    def __init__(self, session: XSession, artifacts: Path, server: Server, app_id: str):
        self.session = session
        self.artifacts = artifacts
        self.server = server
        self.app_id = app_id
        self.velloc = str(session.bin_dir / "velloc")
        self.key = artifacts / "update.key"
        self.public = self.keygen(self.key)

    def keygen(self, path: Path) -> str:
        self.session.run([self.velloc, "keygen", "-o", str(path)])
        return path.with_name(path.name + ".pub").read_text().strip()

    def pack(self, version: str, mode: str, refusals: int = 0) -> Path:
        folder = self.artifacts / f"src-{version}-{mode}"
        (folder / "app").mkdir(parents=True, exist_ok=True)
        (folder / "vlx.ini").write_text(
            f"[App]\nID={self.app_id}\nName=Update {version}\nDirName=app\nVersion={version}\n"
            f"[Update]\nManifestURL={self.server.base}/manifest.json\nPublicKey={self.public}\n",
            encoding="utf-8")
        script = PAGE.replace("%VERSION%", version).replace("%MODE%", mode) \
            .replace("%REFUSALS%", str(refusals))
        (folder / "app" / "index.html").write_text(page(script, title=f"Update {version}"),
                                                   encoding="utf-8")
        return self.session.pack(folder, self.artifacts / f"app-{version}-{mode}.bin")

    def manifest(self, exe: Path, path: str, key: Path | None = None) -> bytes:
        """Publishes `exe` at `path` and answers its signed manifest."""
        self.server.files[path] = exe.read_bytes()
        out = exe.with_name(exe.name + path.replace("/", "-") + ".json")
        self.session.run([self.velloc, "update-manifest", str(exe), "--url",
                          self.server.base + path, "--key", str(key or self.key), "--notes",
                          f"Notes of {exe.name}", "-o", str(out)])
        return out.read_bytes()


def results(app, folder: Path, name: str, timeout: float = 60) -> object:
    """The JSON a page wrote beside its executable (as text with a byte-order mark)."""
    path = folder / name

    def read() -> object:
        error = folder / "error.json"
        if error.exists():
            raise E2EError(f"the page failed: {error.read_text(encoding='utf-8-sig')}")
        if not app.running() and not path.exists():
            raise E2EError(f"{app.name} ended with code {app.proc.returncode}; output:\n"
                           f"{app.output()}")
        try:
            return json.loads(path.read_text(encoding="utf-8-sig"))
        except (OSError, ValueError):
            return None

    return wait_until(read, timeout, name)


def digest(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def leftovers(folder: Path) -> list[str]:
    return sorted(p.name for p in folder.iterdir()
                  if p.name.startswith(".app.") and not p.name.endswith(".lock"))


def installs(args, artifacts: Path) -> None:
    """Version 1 checks, downloads (with progress) and installs version 2, restarts into it in
    the same process, and version 2 reports its version and confirms itself."""
    server = Server()
    try:
        with XSession("update-install", artifacts, args.bin_dir) as session:
            release = Release(session, artifacts, server, "UpdateInstall")
            v2 = release.pack("2.0.0", "new")
            server.manifests = [release.manifest(v2, "/files/app-2")]
            server.pause_at["/files/app-2"] = v2.stat().st_size // 2
            run = artifacts / "run"
            run.mkdir()
            exe = run / "app"
            exe.write_bytes(release.pack("1.0.0", "install").read_bytes())
            exe.chmod(0o755)
            app = session.launch(exe)
            app.wait_window()
            check = results(app, run, "check.json")
            expect_eq(check, {"ok": True, "value": {
                "available": True, "current": "1.0.0", "version": "2.0.0",
                "notes": f"Notes of {v2.name}", "size": v2.stat().st_size,
                "rolledBack": False}}, "version 1's check")
            progress = results(app, run, "progress.json")
            expect(0 < progress[0][0] < v2.stat().st_size and progress[0][1] == v2.stat().st_size,
                   f"progress while downloading: {progress}")
            new = results(app, run, "new.json")
            expect_eq(new["value"]["current"], "2.0.0", "the version that runs after the restart")
            expect_eq(new["value"]["available"], False, "version 2's check")
            expect(app.running(), "the process that restarted into version 2 runs on")
            expect_eq(digest(exe), digest(v2), "the executable in place")
            expect(os.access(exe, os.X_OK), "the new executable is executable")
            # Confirmed: no record and no previous version left.
            wait_until(lambda: not leftovers(run), 10, "the previous version to go")
            session.close_window(app.wait_window())
            expect_eq(app.wait(20), 0, "exit code")
    finally:
        server.close()


# Each way an update can be wrong, in the order version 1 tries them, with what the page is told.
def refusal_cases(release: Release, server: Server) -> list[tuple[str, bytes | None, object]]:
    v2 = release.pack("2.0.0", "new")
    v0 = release.pack("0.9.0", "new")
    size = v2.stat().st_size
    good = release.manifest(v2, "/files/tampered")
    tampered = bytearray(v2.read_bytes())
    tampered[size // 2] ^= 0xFF
    server.files["/files/tampered"] = bytes(tampered)
    other_key = release.artifacts / "other.key"
    release.keygen(other_key)
    truncated = release.manifest(v2, "/files/truncated")
    server.files["/files/truncated"] = v2.read_bytes()[: size // 3]
    stopped = release.manifest(v2, "/files/stopped")
    server.cut["/files/stopped"] = (size // 3, size)
    return [
        ("tampered file", good, "The download does not match the manifest's SHA-256"),
        ("signed by another key", release.manifest(v2, "/files/other-key", other_key),
         "The manifest is not signed with this application's key"),
        ("downgrade", release.manifest(v0, "/files/app-0"),
         "Version 0.9.0 is not newer than the running 1.0.0"),
        ("truncated download", truncated,
         f"The server sends {size // 3} bytes, where the manifest names {size}"),
        # libsoup reports the early end as an error or as the end of the body.
        ("server stops mid-body", stopped, ("The download stopped: ",
                                            f"The download ended after {size // 3} of {size} bytes")),
        ("manifest missing", None, "The manifest could not be downloaded: the server answered "
                                   "with status 404"),
    ]


def refusals(args, artifacts: Path) -> None:
    """One run of version 1 tries each wrong update in turn: each is refused with its reason, and
    the executable, its folder and the running application stay as they were."""
    server = Server()
    try:
        with XSession("update-refusals", artifacts, args.bin_dir) as session:
            release = Release(session, artifacts, server, "UpdateRefusals")
            cases = refusal_cases(release, server)
            # The page's first check, then one manifest per case; the last answer stays, so the
            # check after the cases gets a good manifest again.
            server.manifests = [cases[0][1], *(manifest for _, manifest, _ in cases), cases[0][1]]
            run = artifacts / "run"
            run.mkdir()
            exe = run / "app"
            exe.write_bytes(release.pack("1.0.0", "refusals", len(cases)).read_bytes())
            exe.chmod(0o755)
            before = digest(exe)
            app = session.launch(exe)
            app.wait_window()
            got = results(app, run, "refusals.json", 90)
            problems = []
            for (name, _, why), outcome in zip(cases, got["refusals"]):
                if outcome["ok"] or not str(outcome["value"]).startswith(why):  # str or tuple
                    problems.append(f"{name}: {outcome!r}, expected a refusal {why!r}")
            expect(not problems, "\n  ".join([""] + problems))
            expect_eq(got["after"]["value"]["current"], "1.0.0", "the version after the refusals")
            expect(app.running(), "version 1 runs on")
            expect_eq(digest(exe), before, "the executable")
            expect_eq(leftovers(run), [], "files left beside the executable")
            session.close_window(app.wait_window())
            expect_eq(app.wait(20), 0, "exit code")
    finally:
        server.close()


def rolls_back(args, artifacts: Path) -> None:
    """Version 2 does not come up (its package cannot start); the next start puts version 1
    back, which is not offered version 2 again."""
    server = Server()
    try:
        with XSession("update-rollback", artifacts, args.bin_dir) as session:
            release = Release(session, artifacts, server, "UpdateRollback")
            # A package without DirName: start-up ends at once, before any window.
            broken = session.raw_pack(args.rawpack, artifacts / "broken.bin", {
                "vlx.ini": f"[App]\nID=UpdateRollback\nName=Broken\nVersion=2.0.0\n"})
            server.manifests = [release.manifest(broken, "/files/broken")]
            run = artifacts / "run"
            run.mkdir()
            exe = run / "app"
            v1 = release.pack("1.0.0", "install")
            exe.write_bytes(v1.read_bytes())
            exe.chmod(0o755)
            app = session.launch(exe)
            app.wait_window()
            expect(results(app, run, "check.json")["value"]["available"], "version 2 offered")
            # The broken version replaced the executable, started, and ended unconfirmed.
            expect_eq(app.wait(30), 0, "exit code of the version that did not come up")
            expect_eq(digest(exe), digest(broken), "the executable after the update")
            state = json.loads((run / ".app.vlx-update").read_text())
            expect_eq(state["state"], "trial", "the record after the failed start")

            again = session.launch(exe)
            after = results(again, run, "after-rollback.json")
            expect_eq(after["value"]["current"], "1.0.0", "the version after the roll-back")
            expect_eq(after["value"]["rolledBack"], True, "version 2 is known to have failed")
            expect_eq(after["value"]["available"], False, "version 2 is not offered again")
            expect_eq(digest(exe), digest(v1), "the executable after the roll-back")
            expect("version 2.0.0 ended before it came up; back to version 1.0.0"
                   in again.output(), f"what the roll-back said: {again.output()}")
            session.close_window(again.wait_window())
            expect_eq(again.wait(20), 0, "exit code")
    finally:
        server.close()


CASES = {"installs": installs, "refusals": refusals, "rolls_back": rolls_back}

if __name__ == "__main__":
    os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
    sys.exit(run_cases(CASES, __doc__))
