// Where a download may be saved. Nothing is ever saved unasked: a silent download would let any
// page write files of its choice into a folder the user opens (and from which the application
// might be started on them). The question names where the file comes from whenever that is not
// plainly the application, so the user can tell a download of the application from one of a
// remote page it shows. A download is never opened.
#pragma once

#include "platform/WebView.h"

namespace velloc::browser {

platform::TDownloadDecision DecideDownload(const platform::TDownloadRequest& request);

}  // namespace velloc::browser
