// HTTP downloads of the application's updates through libsoup 3, WebKitGTK's own HTTP library,
// on the runtime's main loop. Lives in the WebKit module, whose libraries a machine without
// WebKitGTK lacks, so that the runtime itself still starts there.
#pragma once

#include <memory>

#include "platform/Updates.h"

namespace velloc::webkit {

std::unique_ptr<platform::IHttpClient> NewSoupHttpClient();

}  // namespace velloc::webkit
