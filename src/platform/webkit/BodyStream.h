// The stream a package response is read from. WebKit reads a scheme response in 8 KiB reads and
// sends each piece to the web process as its own message. Two things make that slow for a page
// that loads megabytes of scripts, and this stream avoids both:
// - WebKit's Unix IPC sends a message larger than 4 KiB through a new shared-memory file (a
//   memfd, mapped and unmapped on both sides, for every piece); a piece a little under 4 KiB
//   travels inline in the socket message instead, which costs far less even though there are
//   twice as many of them.
// - A GMemoryInputStream answers each read in its own main-loop turn; this one answers a run of
//   reads in one turn. A turn is bounded, so a large file never holds up the window.
#pragma once

#include <memory>

#include <gio/gio.h>

#include "platform/WebView.h"

namespace velloc::webkit {

// The largest piece whose message stays under WebKit's 4 KiB inline limit, with room to spare for
// the message's own header (about 90 bytes today).
inline constexpr gsize kInlinePieceSize = 3840;

// A stream over `bytes` (a reference is taken). A read returns at most `pieceSize` bytes. Read
// asynchronously, it answers up to `readsPerTurn` reads in one main-loop turn. Synchronous reads
// work as on any stream; skip and close are GIO's own.
GInputStream* NewBodyStream(GBytes* bytes, gsize pieceSize = kInlinePieceSize,
                            int readsPerTurn = 64);
// The same over a body read in parts (a large package entry), which the stream owns. A failed
// read of the body fails the stream's read.
GInputStream* NewBodyStream(std::unique_ptr<platform::IResponseBody> body,
                            gsize pieceSize = kInlinePieceSize, int readsPerTurn = 64);

}  // namespace velloc::webkit
