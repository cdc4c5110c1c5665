#include "platform/webkit/FailedLoads.h"

#include <cstdio>
#include <string>

#include "core/Text.h"
#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/Uris.h"

namespace velloc::webkit {
namespace {

void PrintFailure(WebKitWebResource* resource, const std::string& reason) {
  const char* uri = webkit_web_resource_get_uri(resource);
  // A cross-origin request the runtime made for the page is named as the page asked for it.
  std::string address = FromForwardingUri(uri ? uri : "");
  if (address.empty()) address = uri ? uri : "";
  // Addresses and reasons come from the page: escaped, whoever reads the terminal.
  std::fprintf(stderr, "velloc: failed to load %s: %s\n", text::EscapeControl(address).c_str(),
               text::EscapeControl(reason).c_str());
}

// A response with an error status: 404 for a missing package file, or any from a server.
void OnFinished(WebKitWebResource* resource, gpointer) {
  glib::Guarded("a finished load", [&] {
    WebKitURIResponse* response = webkit_web_resource_get_response(resource);
    const guint status = response ? webkit_uri_response_get_status_code(response) : 0;
    if (status < 400) return;
    std::string reason = std::to_string(status);
    const char* phrase = soup_status_get_phrase(status);
    if (phrase && *phrase) reason += std::string(" ") + phrase;
    PrintFailure(resource, reason);
  });
}

// No response at all: refused, unreachable, blocked. A load the page or WebKit gave up on (a
// navigation away, a media element seeking, a download taking over) is no failure.
void OnFailed(WebKitWebResource* resource, GError* error, gpointer) {
  glib::Guarded("a failed load", [&] {
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
        g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD)) {
      return;
    }
    PrintFailure(resource, error && error->message ? error->message : "failed");
  });
}

void OnLoadStarted(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*, gpointer) {
  g_signal_connect(resource, "finished", G_CALLBACK(OnFinished), nullptr);
  g_signal_connect(resource, "failed", G_CALLBACK(OnFailed), nullptr);
}

}  // namespace

void ReportFailedLoads(WebKitWebView* view) {
  g_signal_connect(view, "resource-load-started", G_CALLBACK(OnLoadStarted), nullptr);
}

}  // namespace velloc::webkit
