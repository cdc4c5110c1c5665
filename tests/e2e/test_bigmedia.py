#!/usr/bin/env python3
"""Large packaged media: a stored video of 200 MB, made at test time, plays, seeks and ends, read
through its checkpoints (the web process never holds it whole), and fetch with a Range header
gets 206 and exactly the bytes asked for."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases, write_app

VIDEO_FRAMES = 600  # 24 s of 640x360 raw video in Matroska: 207 MB, written in about 2 s

PAGE = page("""<video id="v" src="media/big.mkv" muted preload="auto"></video>""",
            head=PAGE_HELPERS + r"""
<script>
async function seek(element, time) {
  const done = event(element, "seeked", 20000);
  element.currentTime = time;
  return [await done, Math.round(element.currentTime * 10) / 10];
}
async function part(range) {
  const response = await fetch("media/big.mkv", {headers: {Range: range}});
  const bytes = new Uint8Array(await response.arrayBuffer());
  return {status: response.status, contentRange: response.headers.get("Content-Range"),
          acceptRanges: response.headers.get("Accept-Ranges"), length: bytes.length,
          hex: Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("")};
}
window.addEventListener("load", async () => {
  const r = {};
  const v = document.getElementById("v");
  r.metadata = v.readyState >= 1 ? "fired" : await event(v, "loadedmetadata", 30000);
  r.size = [Math.round(v.duration), v.videoWidth, v.videoHeight];
  // Plays from the start for a moment.
  const playing = new Promise((done) => {
    const timer = setTimeout(() => done("timeout"), 20000);
    v.addEventListener("timeupdate", function check() {
      if (v.currentTime > 0.5) {
        v.removeEventListener("timeupdate", check);
        clearTimeout(timer);
        done("fired");
      }
    });
  });
  await v.play();
  r.plays = await playing;
  v.pause();
  r.seeks = [];
  for (const t of [20, 3, 12.5, 22, 7]) r.seeks.push(await seek(v, t));
  await seek(v, v.duration - 1);
  const ended = event(v, "ended", 20000);
  await v.play();
  r.ended = await ended;
  r.ranges = {middle: await part("bytes=100000000-100000099"), last: await part("bytes=-16"),
              beyond: await part("bytes=999999999-")};
  report(r);
});
</script>""")


def web_process_anon_kib(runtime_pid: int) -> int:
    """The anonymous resident memory of the runtime's web process (its child WebKitWebProcess):
    what it allocated, without the pages of the mapped package it read, which are the file's."""
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
            status = (stat.parent / "status").read_text()
        except OSError:
            continue
        if int(fields[1]) == runtime_pid and "WebKitWebProces" in status.splitlines()[0]:
            return int(next(line.split()[1] for line in status.splitlines()
                            if line.startswith("RssAnon:")))
    raise AssertionError("no web process found")


def large_video(args, artifacts: Path) -> None:
    """A 200 MB packaged video plays, seeks to five places and ends; fetch gets byte ranges."""
    with XSession("bigmedia", artifacts, args.bin_dir) as session:
        folder = write_app(artifacts / "bigmedia", {"ID": "E2EBigMedia", "Name": "Big media",
                                                    "DynamicAppTitle": 1}, {"index.html": PAGE})
        video = folder / "app/media/big.mkv"
        video.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["gst-launch-1.0", "-q", "videotestsrc", "pattern=snow",
                        f"num-buffers={VIDEO_FRAMES}", "!",
                        "video/x-raw,format=I420,width=640,height=360,framerate=25/1", "!",
                        "matroskamux", "!", "filesink", f"location={video}"],
                       check=True, timeout=120)
        data = video.read_bytes()
        expect(len(data) > 200_000_000, f"the video holds {len(data)} bytes")
        exe = session.pack(folder, artifacts / "bigmedia.bin")
        video.unlink()  # only the package has it now
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=100)
        expect_eq(result.get("metadata"), "fired", "the video's metadata")
        expect_eq(result.get("size"), [24, 640, 360], "duration and frame size")
        expect_eq(result.get("plays"), "fired", "playing from the start")
        expect_eq(result.get("seeks"), [["fired", 20], ["fired", 3], ["fired", 12.5],
                                        ["fired", 22], ["fired", 7]], "seeking to five places")
        expect_eq(result.get("ended"), "fired", "'ended' after playing to the end")
        size = len(data)
        ranges = result.get("ranges", {})
        expect_eq(ranges.get("middle"),
                  {"status": 206, "contentRange": f"bytes 100000000-100000099/{size}",
                   "acceptRanges": "bytes", "length": 100,
                   "hex": data[100000000:100000100].hex()}, "100 bytes from the middle")
        expect_eq(ranges.get("last"),
                  {"status": 206, "contentRange": f"bytes {size - 16}-{size - 1}/{size}",
                   "acceptRanges": "bytes", "length": 16, "hex": data[-16:].hex()},
                  "the last 16 bytes")
        expect_eq({k: ranges.get("beyond", {}).get(k) for k in ("status", "contentRange")},
                  {"status": 416, "contentRange": f"bytes */{size}"}, "a range beyond the end")
        # Read through its checkpoints: the web process holds two intervals of the video, not
        # the 200 MB that extracting it whole would take.
        anon = web_process_anon_kib(app.pid)
        expect(anon < 150 * 1024, f"the web process holds {anon} KiB after playing the video")
        expect(app.running(), "the runtime ended")


CASES = {"large_video": large_video}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
