// The web-process side of the module. WebKit loads this same shared object into every web
// process as an extension. It gives each frame window.chrome.webview, whose messages carry the
// URI of the frame that posted them (taken here, where a page cannot forge it), rewrites
// absolute "file:///" requests to the package scheme, and reports DOMContentLoaded.
#include <string>
#include <string_view>

#include <webkit2/webkit-web-extension.h>

#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/PackageMedia.h"
#include "platform/webkit/Uris.h"

#define VELLOC_EXPORT __attribute__((visibility("default")))

namespace velloc::embedded {
extern const std::string_view ChromeWebviewShim;
}

namespace velloc::webkit {
namespace {

WebKitWebExtension* GExtension = nullptr;

struct TFrameLink {
  guint64 PageId;
  WebKitFrame* Frame;  // owned reference
};

struct TPendingReply {
  JSCValue* Deliver;  // owned reference
};

void OnReply(GObject* source, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<TPendingReply*>(data);
  WebKitUserMessage* reply =
      webkit_web_page_send_message_to_view_finish(WEBKIT_WEB_PAGE(source), result, nullptr);
  // No reply is normal: the runtime answers nothing to messages it drops.
  if (reply) {
    GVariant* parameters = webkit_user_message_get_parameters(reply);
    if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE_STRING)) {
      JSCValue* ignored = jsc_value_function_call(
          pending->Deliver, G_TYPE_STRING, g_variant_get_string(parameters, nullptr), G_TYPE_NONE);
      if (ignored) g_object_unref(ignored);
    }
    g_object_unref(reply);
  }
  g_object_unref(pending->Deliver);
  delete pending;
}

void PostFromFrame(const char* json, JSCValue* deliver, gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  WebKitWebPage* page = webkit_web_extension_get_page(GExtension, link->PageId);
  if (!page || !json || !deliver || !jsc_value_is_function(deliver)) return;
  const char* uri = webkit_frame_get_uri(link->Frame);
  // Only an application document inside an application page may post: a remote top-level page
  // that frames one never gets its messages through, whatever it manages to call. The runtime
  // checks the frame's URI again.
  const char* pageUri = webkit_web_page_get_uri(page);
  if (!uri || !pageUri || !IsApplicationUri(uri) || !IsApplicationUri(pageUri)) return;
  WebKitUserMessage* message =
      webkit_user_message_new("vlx.post", g_variant_new("(ss)", json, uri));
  glib::Guarded("posting a bridge message", [&] {
    webkit_web_page_send_message_to_view(page, message, nullptr, OnReply,
                                         new TPendingReply{JSC_VALUE(g_object_ref(deliver))});
  });
}

void FreeFrameLink(gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  g_object_unref(link->Frame);
  delete link;
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  auto* link = new TFrameLink{webkit_web_page_get_id(page), WEBKIT_FRAME(g_object_ref(frame))};
  JSCValue* post =
      jsc_value_new_function(context, nullptr, G_CALLBACK(PostFromFrame), link, FreeFrameLink,
                             G_TYPE_NONE, 2, G_TYPE_STRING, JSC_TYPE_VALUE);
  const std::string_view shim = embedded::ChromeWebviewShim;
  JSCValue* install = jsc_context_evaluate_with_source_uri(
      context, shim.data(), static_cast<gssize>(shim.size()), "velloc:chrome-webview", 1);
  if (install && jsc_value_is_function(install)) {
    JSCValue* ignored = jsc_value_function_call(install, JSC_TYPE_VALUE, post, G_TYPE_NONE);
    if (ignored) g_object_unref(ignored);
  }
  if (install) g_object_unref(install);
  g_object_unref(post);
  g_object_unref(context);
}

gboolean OnSendRequest(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  if (uri && StartsWithNoCase(uri, "file:///")) {
    glib::Guarded("mapping a file request",
                  [&] { webkit_uri_request_set_uri(request, ToPackageUri(uri).c_str()); });
  }
  return FALSE;
}

void OnDocumentLoaded(WebKitWebPage* page, gpointer) {
  webkit_web_page_send_message_to_view(
      page, webkit_user_message_new("vlx.dom-content-loaded", nullptr), nullptr, nullptr, nullptr);
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(OnSendRequest), nullptr);
  g_signal_connect(page, "document-loaded", G_CALLBACK(OnDocumentLoaded), nullptr);
}

}  // namespace
}  // namespace velloc::webkit

extern "C" VELLOC_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, GVariant* data) {
  velloc::webkit::GExtension = extension;
  if (data && g_variant_is_of_type(data, G_VARIANT_TYPE_STRING)) {
    velloc::webkit::SetMediaPackagePath(g_variant_get_string(data, nullptr));
  }
  velloc::webkit::RegisterPackageMediaSourceWithGStreamer();
  g_signal_connect(extension, "page-created", G_CALLBACK(velloc::webkit::OnPageCreated), nullptr);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(velloc::webkit::OnWindowObjectCleared), nullptr);
}
