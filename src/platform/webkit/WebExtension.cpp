// The web-process side of the module. WebKit loads this same shared object into every web
// process as an extension. It gives each frame window.chrome.webview, whose messages carry the
// URI of the frame that posted them (taken here, where a page cannot forge it), guards what a
// remote frame inside an application page may ask for (FrameGuard.js), tells the runtime which
// other origins a page shows, rewrites absolute "file:///" requests to the package scheme and
// the application's cross-origin requests to the forwarding scheme, and reports
// DOMContentLoaded.
#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <webkit2/webkit-web-extension.h>

#include "platform/gtk/CallbackGuard.h"
#include "platform/linux/SqliteCookieJar.h"
#include "platform/webkit/PackageMedia.h"
#include "platform/webkit/Uris.h"

#define VELLOC_EXPORT __attribute__((visibility("default")))

namespace velloc::embedded {
extern const std::string_view ChromeWebviewShim;
extern const std::string_view FrameGuard;
extern const std::string_view ForwardedCredentials;
extern const std::string_view ApplicationPage;
}  // namespace velloc::embedded

namespace velloc::webkit {
namespace {

WebKitWebExtension* GExtension = nullptr;
// "--disable-web-security" in the application's arguments: its documents' cross-origin
// requests go through the forwarding scheme.
bool GForwardCrossOrigin = false;
// The cookies of application pages, which WebKit keeps only for web addresses.
std::unique_ptr<platform::TSqliteCookieJar> GCookies;

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

// FrameGuard.js announces a permission request of its frame, named by the frame's URI, just
// before the engine passes the request on over the same connection.
void IntendFromFrame(const char* kind, gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  WebKitWebPage* page = webkit_web_extension_get_page(GExtension, link->PageId);
  if (!page || !kind) return;
  const char* uri = webkit_frame_get_uri(link->Frame);
  glib::Guarded("announcing a permission request", [&] {
    webkit_web_page_send_message_to_view(
        page, webkit_user_message_new("vlx.intent", g_variant_new("(ss)", kind, uri ? uri : "")),
        nullptr, nullptr, nullptr);
  });
}

gboolean PageIsApplication(gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  WebKitWebPage* page = webkit_web_extension_get_page(GExtension, link->PageId);
  const char* pageUri = page ? webkit_web_page_get_uri(page) : nullptr;
  return pageUri && IsApplicationUri(pageUri);
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

// The path of the package document that the frame shows now ("/sub/page.html"); none for any
// other document, whatever script of a package document once held the function.
std::optional<std::string> PackageDocumentPath(WebKitFrame* frame) {
  const char* uri = webkit_frame_get_uri(frame);
  if (!uri || !StartsWithNoCase(uri, kPackageScheme) ||
      !StartsWithNoCase(std::string_view(uri).substr(kPackageScheme.size()), ":")) {
    return std::nullopt;
  }
  // "vlx:///sub/page.html?q": the authority is empty, the path ends at the query or fragment.
  std::string_view rest = std::string_view(uri).substr(kPackageScheme.size() + 1);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    rest.remove_prefix(std::min(rest.size(), rest.find_first_of("/?#")));
  }
  const std::string_view path = rest.substr(0, rest.find_first_of("?#"));
  return std::string(path.empty() ? "/" : path);
}

char* ReadCookies(gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  std::string text;
  glib::Guarded("reading cookies", [&] {
    if (const auto path = PackageDocumentPath(link->Frame)) text = GCookies->Read(*path);
  });
  return g_strdup(text.c_str());
}

void WriteCookie(const char* text, gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  if (!text) return;
  glib::Guarded("writing a cookie", [&] {
    if (const auto path = PackageDocumentPath(link->Frame)) GCookies->Write(text, *path);
  });
}

void FreeFrameLink(gpointer data) {
  auto* link = static_cast<TFrameLink*>(data);
  g_object_unref(link->Frame);
  delete link;
}

// Calls the function that a script of ours evaluates to with `arguments`, in the frame's
// context. The script runs before any of the page's.
void Install(JSCContext* context, std::string_view script, const char* name,
             std::initializer_list<JSCValue*> arguments) {
  JSCValue* install = jsc_context_evaluate_with_source_uri(
      context, script.data(), static_cast<gssize>(script.size()), name, 1);
  if (install && jsc_value_is_function(install)) {
    GPtrArray* list = g_ptr_array_new();
    for (JSCValue* argument : arguments)
      g_ptr_array_add(list, argument);
    JSCValue* ignored =
        jsc_value_function_callv(install, list->len, reinterpret_cast<JSCValue**>(list->pdata));
    g_ptr_array_free(list, TRUE);
    if (ignored) g_object_unref(ignored);
  }
  if (install) g_object_unref(install);
}

// Tells the runtime that the page shows a document that is not the application's, before the
// document's scripts run: a download it makes later can then be told apart.
void ReportForeignDocument(WebKitWebPage* page, WebKitFrame* frame) {
  if (webkit_frame_is_main_frame(frame)) return;
  const char* uri = webkit_frame_get_uri(frame);
  // about:blank and about:srcdoc documents have the origin of the document that made them.
  if (!uri || IsApplicationUri(uri) || StartsWithNoCase(uri, "about:")) return;
  const char* pageUri = webkit_web_page_get_uri(page);
  if (!pageUri || !IsApplicationUri(pageUri)) return;
  webkit_web_page_send_message_to_view(
      page, webkit_user_message_new("vlx.foreign-frame", g_variant_new_string(uri)), nullptr,
      nullptr, nullptr);
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
  glib::Guarded("preparing a frame", [&] {
    ReportForeignDocument(page, frame);
    JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
    const guint64 pageId = webkit_web_page_get_id(page);
    JSCValue* post =
        jsc_value_new_function(context, nullptr, G_CALLBACK(PostFromFrame),
                               new TFrameLink{pageId, WEBKIT_FRAME(g_object_ref(frame))},
                               FreeFrameLink, G_TYPE_NONE, 2, G_TYPE_STRING, JSC_TYPE_VALUE);
    Install(context, embedded::ChromeWebviewShim, "velloc:chrome-webview", {post});
    g_object_unref(post);
    JSCValue* pageIsApplication =
        jsc_value_new_function(context, nullptr, G_CALLBACK(PageIsApplication),
                               new TFrameLink{pageId, WEBKIT_FRAME(g_object_ref(frame))},
                               FreeFrameLink, G_TYPE_BOOLEAN, 0);
    JSCValue* intend =
        jsc_value_new_function(context, nullptr, G_CALLBACK(IntendFromFrame),
                               new TFrameLink{pageId, WEBKIT_FRAME(g_object_ref(frame))},
                               FreeFrameLink, G_TYPE_NONE, 1, G_TYPE_STRING);
    JSCValue* developmentOrigin = jsc_value_new_string(context, DevelopmentOrigin().c_str());
    Install(context, embedded::FrameGuard, "velloc:frame-guard",
            {pageIsApplication, intend, developmentOrigin});
    g_object_unref(developmentOrigin);
    g_object_unref(intend);
    g_object_unref(pageIsApplication);
    const char* uri = webkit_frame_get_uri(frame);
    if (uri && IsApplicationUri(uri)) {
      const bool cookies = GCookies && PackageDocumentPath(frame);
      JSCValue* read = cookies ? jsc_value_new_function(
                                     context, nullptr, G_CALLBACK(ReadCookies),
                                     new TFrameLink{pageId, WEBKIT_FRAME(g_object_ref(frame))},
                                     FreeFrameLink, G_TYPE_STRING, 0)
                               : jsc_value_new_null(context);
      JSCValue* write = cookies ? jsc_value_new_function(
                                      context, nullptr, G_CALLBACK(WriteCookie),
                                      new TFrameLink{pageId, WEBKIT_FRAME(g_object_ref(frame))},
                                      FreeFrameLink, G_TYPE_NONE, 1, G_TYPE_STRING)
                                : jsc_value_new_null(context);
      Install(context, embedded::ApplicationPage, "velloc:application-page", {read, write});
      g_object_unref(write);
      g_object_unref(read);
    }
    if (GForwardCrossOrigin) {
      JSCValue* origin = jsc_value_new_string(context, kApplicationOrigin.data());
      JSCValue* header = jsc_value_new_string(context, kCredentialsHeader.data());
      Install(context, embedded::ForwardedCredentials, "velloc:forwarded-credentials",
              {origin, header});
      g_object_unref(header);
      g_object_unref(origin);
    }
    g_object_unref(context);
  });
}

// A request of an application document to a web server that needs the server's CORS headers
// (fetch, XHR, module scripts and the like: the engine sends those with the document's origin
// and in "cors" mode, or for a synchronous XHR in no mode at all). Navigations and no-cors loads
// need no headers and stay as they are.
bool IsApplicationCorsRequest(WebKitURIRequest* request, const char* uri) {
  if (!StartsWithNoCase(uri, "http:") && !StartsWithNoCase(uri, "https:")) return false;
  SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
  if (!headers) return false;
  const char* origin = soup_message_headers_get_one(headers, "Origin");
  if (!origin || std::string_view(origin) != kApplicationOrigin) return false;
  const char* mode = soup_message_headers_get_one(headers, "Sec-Fetch-Mode");
  return !mode || g_ascii_strcasecmp(mode, "cors") == 0;
}

gboolean OnSendRequest(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  if (!uri) return FALSE;
  if (StartsWithNoCase(uri, "file:///")) {
    glib::Guarded("mapping a file request",
                  [&] { webkit_uri_request_set_uri(request, ToPackageUri(uri).c_str()); });
  } else if (GForwardCrossOrigin && IsApplicationCorsRequest(request, uri)) {
    glib::Guarded("forwarding a cross-origin request",
                  [&] { webkit_uri_request_set_uri(request, ToForwardingUri(uri).c_str()); });
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
  if (data && g_variant_is_of_type(data, G_VARIANT_TYPE("(sbss)"))) {
    const char* executable = nullptr;
    gboolean forward = FALSE;
    const char* developmentOrigin = nullptr;
    const char* cookies = nullptr;
    g_variant_get(data, "(&sb&s&s)", &executable, &forward, &developmentOrigin, &cookies);
    velloc::webkit::SetMediaPackagePath(executable);
    velloc::webkit::GForwardCrossOrigin = forward;
    velloc::webkit::SetDevelopmentOrigin(developmentOrigin);
    if (*cookies)
      velloc::webkit::GCookies = std::make_unique<velloc::platform::TSqliteCookieJar>(cookies);
  }
  velloc::webkit::RegisterPackageMediaSourceWithGStreamer();
  g_signal_connect(extension, "page-created", G_CALLBACK(velloc::webkit::OnPageCreated), nullptr);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(velloc::webkit::OnWindowObjectCleared), nullptr);
}
