#!/usr/bin/env python3
"""Packaged audio and video play and seek: a WAV tone and a WebM video made at test time, from
the package and from beside the executable, through src and through <source> children; seeking
to the middle and the end, 'ended' firing, and two elements playing the same file at once."""

from __future__ import annotations

import io
import struct
import subprocess
import sys
import wave
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases


def tone(seconds: int) -> bytes:
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"".join(struct.pack("<h", (i * 37) % 2000 - 1000)
                               for i in range(8000 * seconds)))
    return out.getvalue()


def webm(path: Path, seconds: int) -> bytes:
    """A small VP8 video in WebM from GStreamer's test source."""
    frames = 10 * seconds
    subprocess.run(["gst-launch-1.0", "-q", "videotestsrc", f"num-buffers={frames}", "!",
                    "video/x-raw,width=160,height=120,framerate=10/1", "!", "vp8enc", "!",
                    "webmmux", "!", "filesink", f"location={path}"], check=True, timeout=60)
    return path.read_bytes()


PAGE = page("""
<audio id="a1" src="media/tone.wav" preload="auto"></audio>
<audio id="a2" src="media/tone.wav" preload="auto"></audio>
<video id="v" preload="auto"><source src="media/clip.webm" type="video/webm"></video>
<audio id="beside" src="beside.wav" preload="auto"></audio>
""", head=PAGE_HELPERS + r"""
<script>
async function metadata(element) {
  if (element.readyState >= 1) return "fired";
  return event(element, "loadedmetadata", 15000);
}
async function seek(element, time) {
  const done = event(element, "seeked", 15000);
  element.currentTime = time;
  return [await done, Math.round(element.currentTime)];
}
window.addEventListener("load", async () => {
  const r = {};
  const a1 = document.getElementById("a1"), a2 = document.getElementById("a2");
  const v = document.getElementById("v"), beside = document.getElementById("beside");
  r.a1 = [await metadata(a1), Math.round(a1.duration)];
  r.a2 = [await metadata(a2), Math.round(a2.duration)];
  r.video = [await metadata(v), Math.round(v.duration), v.videoWidth, v.videoHeight,
             v.currentSrc.replace(/^.*\//, "")];
  r.beside = [await metadata(beside), Math.round(beside.duration)];
  r.seekMiddle = await seek(a1, 3);
  r.seekVideo = await seek(v, 1);
  // Both elements play the same entry at once; the first is near its end.
  a1.muted = a2.muted = v.muted = true;
  await seek(a1, 5.5);
  const ended = event(a1, "ended", 15000);
  await Promise.all([a1.play(), a2.play()]);
  r.ended = await ended;
  r.secondPlaying = !a2.paused && a2.currentTime > 0;
  report(r);
});
</script>""")


def play_and_seek(args, artifacts: Path) -> None:
    """Metadata, duration, seeking and the end of packaged media."""
    clip = webm(artifacts / "clip.webm", 2)
    with XSession("media", artifacts, args.bin_dir) as session:
        exe = session.make_app("media", {"ID": "E2EMedia", "Name": "Media", "DynamicAppTitle": 1},
                               {"index.html": PAGE, "media/tone.wav": tone(6),
                                "media/clip.webm": clip})
        (exe.parent / "beside.wav").write_bytes(tone(2))
        app = session.launch(exe)
        wid = app.wait_window()
        result = session.wait_result(app, wid, timeout=60)
        expect_eq(result.get("a1"), ["fired", 6], "the packaged WAV's metadata")
        expect_eq(result.get("a2"), ["fired", 6], "the same WAV in a second element")
        expect_eq(result.get("video"), ["fired", 2, 160, 120, "clip.webm"],
                  "the packaged video through <source>")
        expect_eq(result.get("beside"), ["fired", 2], "a WAV beside the executable")
        expect_eq(result.get("seekMiddle"), ["fired", 3], "seeking the audio to the middle")
        expect_eq(result.get("seekVideo"), ["fired", 1], "seeking the video")
        expect_eq(result.get("ended"), "fired", "'ended' after playing to the end")
        expect(result.get("secondPlaying") is True, f"the second element plays: {result}")
        expect(app.running(), "the runtime ended")


CASES = {"play_and_seek": play_and_seek}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
