// Packaged audio and video inside the web process. WebKitGTK hands media URLs to GStreamer,
// which has no source for the package scheme; this registers one. It reads the package straight
// from the runtime's executable (mapped, never copied whole) with the same lookup as every other
// request: the package, then beside the executable, then the absolute path. A packaged entry with
// checkpoints (large stored media packed by `velloc pack`) is decrypted only where the player
// reads, an interval at a time; any other packaged entry is decrypted once into memory and
// shared by every element playing it; files on disk are read as the player asks. Seeking is
// random access in every case.
#pragma once

#include <string>

namespace velloc::webkit {

// The executable that carries the package; set once, before any media element plays.
void SetMediaPackagePath(const std::string& exePath);

// Registers the "vlx" source element with GStreamer as soon as WebKit has started GStreamer,
// which it does when a page first uses media. Starting GStreamer here would cost every web
// process 20-40 ms (its plugin registry) before the page, for pages without any media.
void RegisterPackageMediaSourceWithGStreamer();

}  // namespace velloc::webkit
