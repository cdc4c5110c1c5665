// Downloads of the application's views. WebKit saves a download silently into the user's
// download folder when nobody handles it; here every download is decided by the core's rule
// and, when allowed, asked where to save with a save dialog (one at a time per window). A
// download is never opened.
#pragma once

#include <webkit2/webkit2.h>

namespace velloc::webkit {

// Handles every download of `context`'s views from now on.
void HandleDownloads(WebKitWebContext* context);

}  // namespace velloc::webkit
