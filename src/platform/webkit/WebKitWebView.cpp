#include "platform/webkit/WebKitWebView.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <gdk/gdkkeysyms.h>

#include "browser/PermissionPolicy.h"
#include "browser/ResourceServer.h"
#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/BodyStream.h"
#include "platform/webkit/PermissionQuestions.h"
#include "platform/webkit/SchemeRequests.h"
#include "platform/webkit/Uris.h"

namespace velloc::webkit {
namespace {

constexpr const char* kOwnerKey = "velloc-web-view";

// The body of an answer: the extracted bytes as they are (GBytes frees the vector when WebKit is
// done), a package entry read in parts, or the file on disk, read by WebKit as it goes. Null
// when the file cannot be opened.
GInputStream* OpenBody(platform::TWebResourceResponse& response, gint64& size) {
  if (response.Stream) {
    size = static_cast<gint64>(response.Stream->Size());
    return NewBodyStream(std::move(response.Stream));
  }
  if (response.Body) {
    auto* body = response.Body.release();
    GBytes* bytes = g_bytes_new_with_free_func(
        body->data(), body->size(),
        [](gpointer p) { delete static_cast<std::vector<std::uint8_t>*>(p); }, body);
    size = static_cast<gint64>(g_bytes_get_size(bytes));
    GInputStream* stream = NewBodyStream(bytes);
    g_bytes_unref(bytes);
    return stream;
  }
  glib::TObjectPtr<GFile> file(g_file_new_for_path(response.FilePath.c_str()));
  GFileInputStream* stream = g_file_read(file.Get(), nullptr, nullptr);
  if (!stream) return nullptr;
  GFileInfo* info =
      g_file_input_stream_query_info(stream, G_FILE_ATTRIBUTE_STANDARD_SIZE, nullptr, nullptr);
  size = info ? g_file_info_get_size(info) : -1;
  if (info) g_object_unref(info);
  return G_INPUT_STREAM(stream);
}

constexpr const char* kOpenerKey = "velloc-opener";

platform::TPermissionKind PermissionKindOf(WebKitPermissionRequest* request) {
  using platform::TPermissionKind;
  if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(request)) return TPermissionKind::Location;
  if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return TPermissionKind::Notifications;
  if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
    auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
    if (webkit_user_media_permission_is_for_display_device(media)) {
      return TPermissionKind::ScreenCapture;
    }
    const bool audio = webkit_user_media_permission_is_for_audio_device(media);
    const bool video = webkit_user_media_permission_is_for_video_device(media);
    if (audio && video) return TPermissionKind::CameraAndMicrophone;
    return video ? TPermissionKind::Camera : TPermissionKind::Microphone;
  }
  if (WEBKIT_IS_POINTER_LOCK_PERMISSION_REQUEST(request)) return TPermissionKind::PointerLock;
  if (WEBKIT_IS_DEVICE_INFO_PERMISSION_REQUEST(request)) return TPermissionKind::MediaDevices;
  if (WEBKIT_IS_MEDIA_KEY_SYSTEM_PERMISSION_REQUEST(request)) {
    return TPermissionKind::ProtectedMedia;
  }
  if (WEBKIT_IS_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST(request)) {
    return TPermissionKind::StorageAccess;
  }
  if (WEBKIT_IS_CLIPBOARD_PERMISSION_REQUEST(request)) return TPermissionKind::Clipboard;
  return TPermissionKind::Other;
}

// Decides a request of a page shown in `shown` (the main view or one of its pop-ups), asking
// the user where the policy says so. Always TRUE: the request is answered here or later.
gboolean DecidePermission(TWebKitWebView& owner, WebKitWebView* shown,
                          WebKitPermissionRequest* request) {
  const platform::TPermissionKind kind = PermissionKindOf(request);
  std::optional<std::string> asking;
  if (shown == owner.View()) {
    // Inside the application's page, the document that announced the request; none did: a
    // frame that went round its guard.
    asking = owner.RequestingDocument(kind);
  } else {
    const char* uri = webkit_web_view_get_uri(shown);
    asking = ToFileUri(uri ? uri : "");
  }
  if (!asking) {
    webkit_permission_request_deny(request);
    return TRUE;
  }
  auto held = std::make_shared<glib::TObjectPtr<WebKitPermissionRequest>>(
      glib::TObjectPtr<WebKitPermissionRequest>::Ref(request));
  TPermissionQuestions::Of(shown).Request(owner.View(), std::move(*asking), kind,
                                          [held](bool allowed) {
                                            // A request dropped unanswered is denied by WebKit.
                                            if (!*held) return;
                                            if (allowed) {
                                              webkit_permission_request_allow(held->Get());
                                            } else {
                                              webkit_permission_request_deny(held->Get());
                                            }
                                            held->Reset();
                                          });
  return TRUE;
}

// The main view that opened a pop-up, while both exist.
TWebKitWebView* OpenerOf(WebKitWebView* popup) {
  auto* ref = static_cast<GWeakRef*>(g_object_get_data(G_OBJECT(popup), kOpenerKey));
  if (!ref) return nullptr;
  GObject* opener = static_cast<GObject*>(g_weak_ref_get(ref));
  if (!opener) return nullptr;
  TWebKitWebView* owner = TWebKitWebView::FromView(WEBKIT_WEB_VIEW(opener));
  g_object_unref(opener);
  return owner;
}

void FreeWeakRef(gpointer data) {
  auto* ref = static_cast<GWeakRef*>(data);
  g_weak_ref_clear(ref);
  delete ref;
}

void OnPopupReady(WebKitWebView* popup, gpointer) {
  glib::Guarded("a pop-up becoming ready",
                [&] { gtk_widget_show_all(gtk_widget_get_toplevel(GTK_WIDGET(popup))); });
}

// window.close() in the pop-up closes its window.
void OnPopupClose(WebKitWebView* popup, gpointer) {
  glib::Guarded("a pop-up closing", [&] {
    GtkWidget* window = gtk_widget_get_toplevel(GTK_WIDGET(popup));
    if (gtk_widget_is_toplevel(window)) gtk_widget_destroy(window);
  });
}

void OnPopupTitle(WebKitWebView* popup, GParamSpec*, gpointer) {
  glib::Guarded("a pop-up's title", [&] {
    GtkWidget* window = gtk_widget_get_toplevel(GTK_WIDGET(popup));
    const char* title = webkit_web_view_get_title(popup);
    if (gtk_widget_is_toplevel(window))
      gtk_window_set_title(GTK_WINDOW(window), title ? title : "");
  });
}

gboolean OnPopupPermission(WebKitWebView* popup, WebKitPermissionRequest* request, gpointer) {
  return glib::Guarded("a pop-up's permission request", [&]() -> gboolean {
    TWebKitWebView* owner = OpenerOf(popup);
    if (!owner) {
      webkit_permission_request_deny(request);
      return TRUE;
    }
    return DecidePermission(*owner, popup, request);
  });
}

GtkWidget* OpenPopup(WebKitWebView* related, WebKitWebView* mainView);

// Application pages are granted every permission, and the Permissions API and
// Notification.requestPermission() say so: WebKit asks here for the state, which would otherwise
// be "prompt" (and requestPermission() without a click "denied"). The origin is the asking
// document's; other origins keep the engine's answer.
gboolean OnQueryPermissionState(WebKitWebView*, WebKitPermissionStateQuery* query, gpointer) {
  return glib::Guarded("a permission state query", [&]() -> gboolean {
    WebKitSecurityOrigin* origin = webkit_permission_state_query_get_security_origin(query);
    glib::TGFree<char> text(origin ? webkit_security_origin_to_string(origin) : nullptr);
    if (!text.Get() || !IsApplicationOrigin(text.Get())) return FALSE;
    webkit_permission_state_query_finish(query, WEBKIT_PERMISSION_STATE_GRANTED);
    return TRUE;
  });
}

// A pop-up's page questions go with the page.
void OnPopupLoadChanged(WebKitWebView* popup, WebKitLoadEvent event, gpointer) {
  glib::Guarded("a pop-up's load change", [&] {
    if (event == WEBKIT_LOAD_COMMITTED) TPermissionQuestions::Of(popup).CloseAll();
  });
}

// A pop-up's own new windows are pop-ups again, and only on a user gesture (a remote page
// could otherwise open windows without end); it never starts the application.
GtkWidget* OnPopupCreate(WebKitWebView* popup, WebKitNavigationAction* action, gpointer) {
  return glib::Guarded("a pop-up's new-window request", [&]() -> GtkWidget* {
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (uri && IsApplicationUri(uri)) return nullptr;
    if (!webkit_navigation_action_is_user_gesture(action)) return nullptr;
    TWebKitWebView* owner = OpenerOf(popup);
    return OpenPopup(popup, owner ? owner->View() : nullptr);
  });
}

// Opens a web page that is not the application's in a plain window of its own, as a browser
// would for a pop-up. Its permission requests go to the main view's owner.
GtkWidget* OpenPopup(WebKitWebView* related, WebKitWebView* mainView) {
  GtkWidget* view = webkit_web_view_new_with_related_view(related);
  if (mainView) {
    auto* ref = new GWeakRef;
    g_weak_ref_init(ref, mainView);
    g_object_set_data_full(G_OBJECT(view), kOpenerKey, ref, FreeWeakRef);
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "ready-to-show", G_CALLBACK(OnPopupReady), nullptr);
  g_signal_connect(view, "close", G_CALLBACK(OnPopupClose), nullptr);
  g_signal_connect(view, "notify::title", G_CALLBACK(OnPopupTitle), nullptr);
  g_signal_connect(view, "permission-request", G_CALLBACK(OnPopupPermission), nullptr);
  g_signal_connect(view, "create", G_CALLBACK(OnPopupCreate), nullptr);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnPopupLoadChanged), nullptr);
  return view;
}

bool IsZoomKey(guint keyval) {
  switch (keyval) {
    case GDK_KEY_plus:
    case GDK_KEY_minus:
    case GDK_KEY_equal:
    case GDK_KEY_0:
    case GDK_KEY_KP_Add:
    case GDK_KEY_KP_Subtract:
    case GDK_KEY_KP_0:
      return true;
    default:
      return false;
  }
}

}  // namespace

TWebKitWebView::TWebKitWebView(WebKitWebContext* context, const TBrowserFlags& flags,
                               platform::IWebViewEvents& events)
    : FEvents(events), FFlags(flags), FContentManager(webkit_user_content_manager_new()) {
  WebKitSettings* settings = webkit_settings_new();
  // Package pages live under a local scheme; workers and file access between them need this.
  webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
  // Never off, whatever the argument line says: without the same-origin policy a remote frame
  // or pop-up could script an application document and reach the bridge through it. What the
  // argument line asks for, cross-origin requests, application documents get through the
  // forwarding scheme (NetForwarder.h).
  webkit_settings_set_disable_web_security(settings, FALSE);
  webkit_settings_set_media_playback_requires_user_gesture(settings, !flags.AutoplayWithoutGesture);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, flags.ConsoleToTerminal);

  auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                            "settings", settings, "user-content-manager",
                                            FContentManager.Get(), nullptr));
  g_object_unref(settings);
  FView.Reset(WEBKIT_WEB_VIEW(g_object_ref_sink(view)));
  g_object_set_data(G_OBJECT(view), kOwnerKey, this);

  g_signal_connect(view, "notify::title", G_CALLBACK(OnTitleChanged), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view, "permission-request", G_CALLBACK(OnPermissionRequest), this);
  g_signal_connect(view, "query-permission-state", G_CALLBACK(OnQueryPermissionState), nullptr);
  g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view, "user-message-received", G_CALLBACK(OnUserMessage), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnProcessTerminated), this);
  g_signal_connect(view, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(view, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(view, "event", G_CALLBACK(OnEvent), this);
}

TWebKitWebView::~TWebKitWebView() {
  FWorkers.reset();
  GObject* view = G_OBJECT(FView.Get());
  g_signal_handlers_disconnect_by_data(view, this);
  g_object_set_data(view, kOwnerKey, nullptr);
  if (GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(view))) {
    gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(view));
  }
}

TWebKitWebView* TWebKitWebView::FromView(WebKitWebView* view) {
  return view ? static_cast<TWebKitWebView*>(g_object_get_data(G_OBJECT(view), kOwnerKey))
              : nullptr;
}

TWebKitWebView* TWebKitWebView::OwnerOf(WebKitWebView* view) {
  if (TWebKitWebView* owner = FromView(view)) return owner;
  return OpenerOf(view);
}

void TWebKitWebView::AddScriptToExecuteOnDocumentCreated(std::string_view script) {
  const std::string source(script);
  WebKitUserScript* userScript =
      webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(FContentManager.Get(), userScript);
  webkit_user_script_unref(userScript);
}

void TWebKitWebView::ApplySettings(const platform::TWebViewSettings& settings) {
  FSettings = settings;
  WebKitSettings* s = webkit_web_view_get_settings(FView.Get());
  webkit_settings_set_enable_javascript(s, settings.IsScriptEnabled);
  webkit_settings_set_enable_developer_extras(s,
                                              settings.AreDevToolsEnabled || FFlags.OpenInspector);
  webkit_settings_set_enable_back_forward_navigation_gestures(s, settings.IsSwipeNavigationEnabled);
  // Status bar, autofill, password saving, reputation checks and the PDF toolbar have no
  // counterpart in WebKitGTK; script dialogs and the error page are WebKit's defaults.
}

void TWebKitWebView::Navigate(std::string_view uri) {
  const std::string target = ToPackageUri(uri);
  webkit_web_view_load_uri(FView.Get(), target.c_str());
}

void TWebKitWebView::ExecuteScript(std::string_view script) {
  webkit_web_view_evaluate_javascript(FView.Get(), script.data(),
                                      static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
}

std::string TWebKitWebView::DocumentTitle() const {
  const char* title = webkit_web_view_get_title(FView.Get());
  return title ? title : "";
}

double TWebKitWebView::ZoomFactor() const {
  return webkit_web_view_get_zoom_level(FView.Get());
}

void TWebKitWebView::SetZoomFactor(double factor) {
  webkit_web_view_set_zoom_level(FView.Get(), factor);
}

bool TWebKitWebView::IsVisible() const {
  return gtk_widget_get_visible(GTK_WIDGET(FView.Get()));
}

void TWebKitWebView::MoveFocus() {
  gtk_widget_grab_focus(GTK_WIDGET(FView.Get()));
}

void TWebKitWebView::Reload() {
  webkit_web_view_reload(FView.Get());
}

void TWebKitWebView::NavigateToString(std::string_view html) {
  const std::string text(html);
  // about:blank is no application document: the page gets neither the package nor the bridge.
  webkit_web_view_load_html(FView.Get(), text.c_str(), "about:blank");
}

bool TWebKitWebView::IsResponsive() const {
  return webkit_web_view_get_is_web_process_responsive(FView.Get()) != FALSE;
}

void TWebKitWebView::ServePackageRequest(WebKitURISchemeRequest* request) {
  SoupMessageHeaders* requestHeaders = webkit_uri_scheme_request_get_http_headers(request);
  const char* origin =
      requestHeaders ? soup_message_headers_get_one(requestHeaders, "Origin") : nullptr;
  const char* referer =
      requestHeaders ? soup_message_headers_get_one(requestHeaders, "Referer") : nullptr;
  if (!IsApplicationRequest(origin, referer)) {
    // A network error, the same for every file, so a remote page learns nothing.
    FailRequest(request, G_IO_ERROR_PERMISSION_DENIED, "Not allowed");
    return;
  }
  // Media elements and fetch may ask for one part of a package entry.
  const char* rangeHeader =
      requestHeaders ? soup_message_headers_get_one(requestHeaders, "Range") : nullptr;
  std::string range = rangeHeader ? rangeHeader : "";
  // An entry too large to extract, or any other error, fails this request and nothing else.
  const bool handedOver = glib::Guarded("serving a package request", [&] {
    std::string uri = ToFileUri(webkit_uri_scheme_request_get_uri(request));
    if (platform::TWebResourceResolver resolver = FEvents.BrowserResourceResolver()) {
      if (!FWorkers) {
        FWorkers = std::make_unique<TResourceWorkers>(
            [this](WebKitURISchemeRequest* r, std::optional<platform::TWebResourceResponse>& a) {
              Answer(r, a);
            });
      }
      FWorkers->Serve(request, std::move(uri),
                      [resolver = std::move(resolver), range = std::move(range)](
                          std::string_view u) -> std::optional<platform::TWebResourceResponse> {
                        auto response = resolver(u);
                        if (response) browser::ApplyRange(*response, range);
                        return response;
                      });
      return true;
    }
    std::optional<platform::TWebResourceResponse> response =
        FEvents.BrowserWebResourceRequested(uri);
    if (response) browser::ApplyRange(*response, range);
    Answer(request, response);
    return true;
  });
  if (!handedOver) FailRequest(request, G_IO_ERROR_NOT_FOUND, "Not found");
}

void TWebKitWebView::Answer(WebKitURISchemeRequest* request,
                            std::optional<platform::TWebResourceResponse>& answer) {
  if (!answer || (!answer->Body && !answer->Stream && answer->FilePath.empty())) {
    FailRequest(request, G_IO_ERROR_NOT_FOUND, "Not found");
    return;
  }
  platform::TWebResourceResponse& response = *answer;
  gint64 size = -1;
  GInputStream* stream = OpenBody(response, size);
  if (!stream) {
    FailRequest(request, G_IO_ERROR_NOT_FOUND, "Not found");
    return;
  }
  WebKitURISchemeResponse* reply = webkit_uri_scheme_response_new(stream, size);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Content-Type",
                              ContentTypeHeader(response.MimeType).c_str());
  // Module scripts, workers and fetch run in CORS mode; only package documents get this far.
  soup_message_headers_append(headers, "Access-Control-Allow-Origin", "vlx://");
  if (response.AcceptsRanges) soup_message_headers_append(headers, "Accept-Ranges", "bytes");
  if (!response.ContentRange.empty()) {
    soup_message_headers_append(headers, "Content-Range", response.ContentRange.c_str());
  }
  webkit_uri_scheme_response_set_content_type(reply, response.MimeType.c_str());
  webkit_uri_scheme_response_set_http_headers(reply, headers);  // takes the headers
  const std::string reason(browser::StatusText(response.StatusCode));
  webkit_uri_scheme_response_set_status(reply, static_cast<guint>(response.StatusCode),
                                        reason.c_str());
  webkit_uri_scheme_request_finish_with_response(request, reply);
  g_object_unref(reply);
  g_object_unref(stream);
}

void TWebKitWebView::OnTitleChanged(WebKitWebView*, GParamSpec*, TWebKitWebView* self) {
  glib::Guarded("the title change", [&] { self->FEvents.BrowserDocumentTitleChanged(); });
}

void TWebKitWebView::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event,
                                   TWebKitWebView* self) {
  glib::Guarded("a load change", [&] {
    if (event == WEBKIT_LOAD_COMMITTED) {
      // A new top document: what the last one showed and asked is over.
      self->FForeignOrigins.clear();
      self->FIntents.clear();
      TPermissionQuestions::Of(view).CloseAll();
    }
    if (event == WEBKIT_LOAD_STARTED) self->FEvents.BrowserNavigationStarting();
    if (event == WEBKIT_LOAD_FINISHED) self->FEvents.BrowserNavigationCompleted();
    // With the first page's load: the inspector starts a process of its own and loads its own
    // pages meanwhile (about a second), and then shows the page that has come. Shown before
    // the first load it would compete with the page and load again for it.
    if (event == WEBKIT_LOAD_STARTED && self->FFlags.OpenInspector && !self->FInspectorShown) {
      self->FInspectorShown = true;
      webkit_web_inspector_show(webkit_web_view_get_inspector(view));
    }
  });
}

bool TWebKitWebView::NewWindowHandled(WebKitNavigationAction* action) {
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = webkit_uri_request_get_uri(request);
  // The package scheme counts as "file:" for the policy, which also sees a "file:" URI.
  const std::string target = ToFileUri(uri ? uri : "");
  // The asking document is taken to be the top one, unless the request names another: a remote
  // frame inside an application page is not the application.
  const char* top = webkit_web_view_get_uri(FView.Get());
  std::string opener = ToFileUri(top ? top : "");
  SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
  const char* referer = headers ? soup_message_headers_get_one(headers, "Referer") : nullptr;
  if (referer && !IsApplicationUri(referer)) opener = referer;
  return FEvents.BrowserNewWindowRequested(target, opener);
}

GtkWidget* TWebKitWebView::OnCreate(WebKitWebView* view, WebKitNavigationAction* action,
                                    TWebKitWebView* self) {
  return glib::Guarded("a new-window request", [&]() -> GtkWidget* {
    if (self->NewWindowHandled(action)) return nullptr;
    // A remote page opens windows only on a user gesture; the application's own pages may at
    // any time (remote frames inside them are held to the same rule in the web process).
    const char* top = webkit_web_view_get_uri(view);
    if (!(top && IsApplicationUri(top)) && !webkit_navigation_action_is_user_gesture(action)) {
      return nullptr;
    }
    return OpenPopup(view, view);
  });
}

// A link with a new-window target asks here before `create`; what the policy handles is
// ignored, so no window of WebKit's follows.
gboolean TWebKitWebView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type, TWebKitWebView* self) {
  return glib::Guarded("a policy decision", [&]() -> gboolean {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    if (!self->NewWindowHandled(action)) return FALSE;
    webkit_policy_decision_ignore(decision);
    return TRUE;
  });
}

gboolean TWebKitWebView::OnPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                             TWebKitWebView* self) {
  return glib::Guarded("a permission request",
                       [&] { return DecidePermission(*self, view, request); });
}

platform::TPermissionDecision TWebKitWebView::PermissionRequested(const std::string& pageUri,
                                                                  platform::TPermissionKind kind) {
  return FEvents.BrowserPermissionRequested(pageUri, kind);
}

void TWebKitWebView::PermissionAnswered(const std::string& pageUri, platform::TPermissionKind kind,
                                        bool allowed) {
  FEvents.BrowserPermissionAnswered(pageUri, kind, allowed);
}

platform::TDownloadDecision TWebKitWebView::DownloadRequested(
    const platform::TDownloadRequest& request) {
  return FEvents.BrowserDownloadRequested(request);
}

gboolean TWebKitWebView::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                       WebKitHitTestResult*, TWebKitWebView* self) {
  return self->FSettings.AreDefaultContextMenusEnabled ? FALSE : TRUE;
}

gboolean TWebKitWebView::OnUserMessage(WebKitWebView* view, WebKitUserMessage* message,
                                       TWebKitWebView* self) {
  return glib::Guarded("a bridge message", [&] { return self->UserMessage(view, message); });
}

gboolean TWebKitWebView::UserMessage(WebKitWebView* view, WebKitUserMessage* message) {
  const char* name = webkit_user_message_get_name(message);
  if (g_strcmp0(name, "vlx.dom-content-loaded") == 0) {
    FEvents.BrowserDOMContentLoaded();
    return TRUE;
  }
  if (g_strcmp0(name, "vlx.foreign-frame") == 0) {
    ForeignFrame(view, message);
    return TRUE;
  }
  if (g_strcmp0(name, "vlx.intent") == 0) {
    FrameIntent(view, message);
    return TRUE;
  }
  if (g_strcmp0(name, "vlx.post") != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)"))) return TRUE;
  if (!FSettings.IsWebMessageEnabled) return TRUE;
  // A message from inside a page that is not the application's is dropped here too: the top
  // document decides, whatever frame the message names.
  const char* pageUri = webkit_web_view_get_uri(view);
  if (!pageUri || !IsApplicationUri(pageUri)) return TRUE;
  const char* json = nullptr;
  const char* source = nullptr;
  g_variant_get(parameters, "(&s&s)", &json, &source);
  // The way back holds the message, so a handler may answer after it has returned (WebKit
  // delivers the reply to the frame whenever it is sent). Copies of it share one state: the
  // first answer counts.
  struct TPending {
    WebKitUserMessage* Message;
    ~TPending() {
      if (Message) g_object_unref(Message);
    }
  };
  auto pending = std::make_shared<TPending>(WEBKIT_USER_MESSAGE(g_object_ref(message)));
  platform::TWebMessageEvent event{
      json, source, [pending](std::string_view reply) {
        if (!pending->Message) return;
        const std::string text(reply);
        WebKitUserMessage* answered = std::exchange(pending->Message, nullptr);
        webkit_user_message_send_reply(
            answered, webkit_user_message_new("vlx.reply", g_variant_new_string(text.c_str())));
        g_object_unref(answered);
      }};
  FEvents.BrowserWebMessageReceived(event);
  return TRUE;
}

void TWebKitWebView::ForeignFrame(WebKitWebView* view, WebKitUserMessage* message) {
  GVariant* parameters = webkit_user_message_get_parameters(message);
  const char* pageUri = webkit_web_view_get_uri(view);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE_STRING) || !pageUri ||
      !IsApplicationUri(pageUri)) {
    return;
  }
  const std::string_view uri = g_variant_get_string(parameters, nullptr);
  std::string name = browser::OriginOf(uri);
  // Documents without an origin to name (data:) are named by their scheme.
  if (name.empty()) name = "a " + std::string(uri.substr(0, uri.find(':'))) + ": document";
  if (FForeignOrigins.size() < kMaxForeignOrigins &&
      std::find(FForeignOrigins.begin(), FForeignOrigins.end(), name) == FForeignOrigins.end()) {
    FForeignOrigins.push_back(std::move(name));
  }
}

namespace {

// The requests that frames announce (FrameGuard.js): those WebKit does not already refuse to
// frames of other origins.
constexpr std::pair<std::string_view, platform::TPermissionKind> kAnnouncedKinds[] = {
    {"clipboard", platform::TPermissionKind::Clipboard},
    {"storage-access", platform::TPermissionKind::StorageAccess},
    {"protected-media", platform::TPermissionKind::ProtectedMedia},
};

bool IsAnnounced(platform::TPermissionKind kind) {
  for (const auto& announced : kAnnouncedKinds) {
    if (announced.second == kind) return true;
  }
  return false;
}

}  // namespace

void TWebKitWebView::FrameIntent(WebKitWebView* view, WebKitUserMessage* message) {
  GVariant* parameters = webkit_user_message_get_parameters(message);
  const char* pageUri = webkit_web_view_get_uri(view);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)")) || !pageUri ||
      !IsApplicationUri(pageUri)) {
    return;
  }
  const char* kind = nullptr;
  const char* frameUri = nullptr;
  g_variant_get(parameters, "(&s&s)", &kind, &frameUri);
  for (const auto& [text, value] : kAnnouncedKinds) {
    if (text != kind) continue;
    if (FIntents.size() >= kMaxIntents) FIntents.erase(FIntents.begin());
    FIntents.push_back({value, ToFileUri(frameUri), g_get_monotonic_time()});
    return;
  }
}

std::optional<std::string> TWebKitWebView::RequestingDocument(platform::TPermissionKind kind) {
  const char* top = webkit_web_view_get_uri(FView.Get());
  const std::string pageUri = ToFileUri(top ? top : "");
  if (!IsApplicationUri(pageUri) || !IsAnnounced(kind)) return pageUri;
  // The web process runs one script at a time and passes messages on in order, so the request
  // follows its own announcement at once: the latest one of its kind. The older ones announced
  // requests that the engine settled itself (a permission already decided); they must not name
  // a later request, so they go too.
  std::optional<std::string> announcer;
  const gint64 now = g_get_monotonic_time();
  for (auto intent = FIntents.begin(); intent != FIntents.end();) {
    if (intent->Kind != kind) {
      ++intent;
      continue;
    }
    if (now - intent->Time <= kIntentLifetimeUs) announcer = std::move(intent->FrameUri);
    intent = FIntents.erase(intent);
  }
  return announcer;
}

void TWebKitWebView::OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                         TWebKitWebView* self) {
  glib::Guarded("the end of the web process", [&] { self->FEvents.BrowserProcessFailed(); });
}

gboolean TWebKitWebView::OnKeyPress(GtkWidget*, GdkEventKey* event, TWebKitWebView* self) {
  const bool ctrl = (event->state & GDK_CONTROL_MASK) != 0;
  if (ctrl && IsZoomKey(event->keyval) && !self->FSettings.IsZoomControlEnabled) return TRUE;
  if (self->FSettings.AreBrowserAcceleratorKeysEnabled) {
    const bool reload = event->keyval == GDK_KEY_F5 ||
                        (ctrl && (event->keyval == GDK_KEY_r || event->keyval == GDK_KEY_R));
    if (reload) {
      webkit_web_view_reload(self->FView.Get());
      return TRUE;
    }
    if (event->keyval == GDK_KEY_F12 && self->FSettings.AreDevToolsEnabled) {
      webkit_web_inspector_show(webkit_web_view_get_inspector(self->FView.Get()));
      return TRUE;
    }
  } else if (ctrl && (event->state & GDK_SHIFT_MASK) &&
             (event->keyval == GDK_KEY_I || event->keyval == GDK_KEY_i)) {
    return TRUE;  // the inspector's own shortcut is a browser accelerator too
  }
  return FALSE;
}

gboolean TWebKitWebView::OnScroll(GtkWidget*, GdkEventScroll* event, TWebKitWebView* self) {
  return (event->state & GDK_CONTROL_MASK) && !self->FSettings.IsZoomControlEnabled ? TRUE : FALSE;
}

gboolean TWebKitWebView::OnEvent(GtkWidget*, GdkEvent* event, TWebKitWebView* self) {
  return event->type == GDK_TOUCHPAD_PINCH && !self->FSettings.IsPinchZoomEnabled ? TRUE : FALSE;
}

}  // namespace velloc::webkit
