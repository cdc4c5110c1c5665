// A stream that passes on at most a set number of bytes of another: the read that would go
// beyond fails (G_IO_ERROR_MESSAGE_TOO_LARGE), so a body that never ends fails its request
// instead of flowing on without end.
#pragma once

#include <gio/gio.h>

namespace velloc::webkit {

// A new stream over `base` (a reference is taken), closing it when it closes. Reads go to the
// base in its own way, asynchronous ones asynchronously: nothing is read on another thread.
GInputStream* NewBoundedStream(GInputStream* base, guint64 limit);

}  // namespace velloc::webkit
