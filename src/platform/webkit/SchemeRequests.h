// Ending a request of one of the runtime's URI schemes with an error.
#pragma once

#include <gio/gio.h>
#include <webkit2/webkit2.h>

namespace velloc::webkit {

inline void FailRequest(WebKitURISchemeRequest* request, GIOErrorEnum code, const char* message) {
  GError* error = g_error_new_literal(G_IO_ERROR, code, message);
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

}  // namespace velloc::webkit
