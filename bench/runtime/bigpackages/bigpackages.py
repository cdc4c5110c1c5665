#!/usr/bin/env python3
"""Packages of any size. Run by scripts/bench-runtime.sh (section bigpackages) on its private
display; needs the release build's velloc, runtime and minimal host, gst-launch-1.0 and xdotool.

1. Start-up: three apps that differ only in one stored media file of 1 MB, 100 MB and 1 GB
   (never shown). Exec to DOMContentLoaded, where the page closes the app, and the runtime's
   peak resident memory (VmHWM, read until it exits); RUNS runs each, in turn, medians.
2. Seeking: a 1 GB video (raw frames in Matroska, made here) seeked to five places, time to each
   'seeked' in the page's clock; packed in the runtime against the same file from disk in the
   minimal host. Then the memory of each process tree: the UI process's peak, and the web
   process's anonymous memory (what it allocated; the package's and the file's pages are the
   page cache's, shared and dropped under pressure).

Usage: bigpackages.py BIN_DIR WORK_DIR [RUNS]"""
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

STARTUP_PAGE = """<!doctype html><html><head><meta charset="utf-8"><title>Big package</title>
<script>document.addEventListener("DOMContentLoaded", () => vlx.app.close());</script>
</head><body><h1>Start-up</h1></body></html>
"""

SEEK_PAGE = """<!doctype html><html><head><meta charset="utf-8"><title>Seeking</title>
<script>
window.addEventListener("load", async () => {
  const v = document.getElementById("v");
  if (v.readyState < 1) await new Promise((d) => v.addEventListener("loadedmetadata", d, {once: true}));
  const times = [];
  for (const at of [0.8, 0.2, 0.5, 0.95, 0.35]) {
    const start = performance.now();
    await new Promise((d) => { v.addEventListener("seeked", d, {once: true}); v.currentTime = v.duration * at; });
    times.push(performance.now() - start);
  }
  document.title = "RESULT:" + JSON.stringify(times);
});
</script></head><body><video id="v" src="clip.mkv" muted preload="auto"></video></body></html>
"""


def write_app(folder: Path, app_id: str, page: str) -> Path:
    (folder / "app").mkdir(parents=True, exist_ok=True)
    (folder / "vlx.ini").write_text(f"[App]\nID={app_id}\nName={app_id}\nDirName=app\n"
                                    "AllowInstances=1\nDynamicAppTitle=1\n")
    (folder / "app/index.html").write_text(page)
    return folder


def status_kib(pid: int, field: str) -> int:
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def web_process(pid: int) -> int:
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
            name = (stat.parent / "comm").read_text().strip()
        except OSError:
            continue
        if int(fields[1]) == pid and name.startswith("WebKitWebProces"):
            return int(stat.parent.name)
    return 0


def start_once(exe: Path) -> tuple[float, int]:
    """Seconds from exec to exit, and the peak resident memory (KiB) seen before it exited."""
    start = time.monotonic()
    proc = subprocess.Popen([str(exe)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    while proc.poll() is None:
        peak = max(peak, status_kib(proc.pid, "VmHWM"))
        time.sleep(0.002)
    return time.monotonic() - start, peak


def startup(bin_dir: Path, work: Path, runs: int) -> None:
    sizes = {"1 MB": 1 << 20, "100 MB": 100 << 20, "1 GB": 1 << 30}
    apps = {}
    for name, size in sizes.items():
        folder = write_app(work / f"start-{size}", "VellocBigPackage", STARTUP_PAGE)
        media = folder / "app/media.mp4"
        with open("/dev/urandom", "rb") as source, open(media, "wb") as out:
            left = size
            while left:
                chunk = source.read(min(left, 8 << 20))
                out.write(chunk)
                left -= len(chunk)
        apps[name] = work / f"start-{size}.bin"
        subprocess.run([str(bin_dir / "velloc"), "pack", str(folder), "-o", str(apps[name]),
                        "--quiet"], check=True)
        media.unlink()
    results = {name: ([], []) for name in apps}
    for run in range(runs + 1):
        for name, exe in apps.items():
            seconds, peak = start_once(exe)
            if run:  # the first round extracts the module and warms the caches
                results[name][0].append(seconds * 1000)
                results[name][1].append(peak / 1024)
    print("   package   exec to DOMContentLoaded (median ms)   runtime peak RSS (median MiB)")
    medians = {n: (statistics.median(t), statistics.median(m)) for n, (t, m) in results.items()}
    for name, (ms, mib) in medians.items():
        print(f"{name:>10}   {ms:10.0f} (min {min(results[name][0]):.0f}, max "
              f"{max(results[name][0]):.0f})          {mib:8.1f}")
    small, large = medians["1 MB"], medians["1 GB"]
    print(f"1 GB / 1 MB: time {large[0] / small[0]:.3f} (goal <= 1.1), memory "
          f"{(large[1] / small[1] - 1) * 100:+.1f} % (goal within 10 %)")


def wait_title(prefix: str, timeout: float) -> str:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        out = subprocess.run(["xdotool", "search", "--name", f"^{prefix}"], capture_output=True,
                             text=True).stdout.split()
        if out:
            name = subprocess.run(["xdotool", "getwindowname", out[0]], capture_output=True,
                                  text=True).stdout.strip()
            if name.startswith(prefix):
                return name[len(prefix):]
        time.sleep(0.05)
    raise SystemExit(f"no window titled {prefix}... within {timeout:.0f} s")


def seek_once(command: list[str]) -> tuple[list[float], int, int]:
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        times = [float(t) for t in wait_title("RESULT:", 180).strip("[]").split(",")]
        web = web_process(proc.pid)
        return times, status_kib(proc.pid, "VmHWM"), status_kib(web, "RssAnon")
    finally:
        proc.kill()
        proc.wait()
        time.sleep(0.5)  # the web process goes with it


def seeking(bin_dir: Path, work: Path, runs: int) -> None:
    folder = write_app(work / "seek", "VellocBigSeek", SEEK_PAGE)
    video = folder / "app/clip.mkv"
    # 3000 frames of 640x360: 1.04 GB, two minutes.
    subprocess.run(["gst-launch-1.0", "-q", "videotestsrc", "pattern=snow", "num-buffers=3000", "!",
                    "video/x-raw,format=I420,width=640,height=360,framerate=25/1", "!",
                    "matroskamux", "!", "filesink", f"location={video}"], check=True)
    exe = work / "seek.bin"
    subprocess.run([str(bin_dir / "velloc"), "pack", str(folder), "-o", str(exe), "--quiet"],
                   check=True)
    kinds = {"runtime, packaged": [str(exe)],
             "minimal host, from disk": [str(bin_dir / "minimal-webkit-host"), "--idle",
                                         "file://" + str(folder / "app/index.html")]}
    results = {kind: [] for kind in kinds}
    for run in range(runs + 1):
        for kind, command in kinds.items():
            outcome = seek_once(command)
            if run:
                results[kind].append(outcome)
    print(f"seeking a {video.stat().st_size / 1e9:.2f} GB video to five places "
          f"(medians of {runs} runs)")
    print("                            ms to each 'seeked'            total ms   UI peak RSS MiB"
          "   web process anon MiB")
    for kind, outcomes in results.items():
        per_seek = [statistics.median(o[0][i] for o in outcomes) for i in range(5)]
        total = statistics.median(sum(o[0]) for o in outcomes)
        ui = statistics.median(o[1] for o in outcomes) / 1024
        web = statistics.median(o[2] for o in outcomes) / 1024
        print(f"{kind:>24}:  {' '.join(f'{t:6.1f}' for t in per_seek)}   {total:8.1f}   "
              f"{ui:10.1f}   {web:10.1f}")


def main() -> None:
    bin_dir, work = Path(sys.argv[1]), Path(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    work.mkdir(parents=True, exist_ok=True)
    startup(bin_dir, work, runs)
    seeking(bin_dir, work, max(3, runs // 2))


if __name__ == "__main__":
    main()
