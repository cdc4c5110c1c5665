// The stream a package response is read from. WebKit reads a scheme response in 8 KiB pieces,
// each through its own main-loop turn when the stream is a GMemoryInputStream; this one answers
// a run of those reads in a single turn, which takes a large share of the UI process's work off
// a page that loads megabytes of scripts. A turn is bounded, so a large file never holds up the
// window.
#pragma once

#include <gio/gio.h>

namespace velloc::webkit {

// A stream over `bytes` (a reference is taken). Read asynchronously, it answers up to
// `readsPerTurn` reads in one main-loop turn; synchronous reads and skips work as on any stream.
GInputStream* NewBodyStream(GBytes* bytes, int readsPerTurn = 32);

}  // namespace velloc::webkit
