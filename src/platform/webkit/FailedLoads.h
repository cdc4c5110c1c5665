// `velloc run`: every load of the page that fails is one line on standard error, so that a
// missing script or image, a refused request or a 404 shows on the terminal with its address.
// The lines come from the resources WebKit reports to this process, never from the page's own
// script, so a page cannot hide or forge them beyond making its own requests.
#pragma once

#include <webkit2/webkit2.h>

namespace velloc::webkit {

// Reports the failed loads of `view` from now on, for as long as it lives.
void ReportFailedLoads(WebKitWebView* view);

}  // namespace velloc::webkit
