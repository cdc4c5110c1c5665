// The reference for the runtime benchmarks: the least a WebKitGTK program does to show a page.
//   --startup URL      load URL from disk; exit as soon as the page reports DOMContentLoaded
//   --ready URL        load URL from disk; exit when the page posts to the "done" handler itself
//                      (module scripts from file:// need file access from file URLs)
//   --ready-scheme DIR serve DIR under a custom URI scheme, each file read whole into memory and
//                      answered with a memory stream, the least an app runtime does; load its
//                      index.html and exit as --ready does (WebKit's own cost of a custom scheme)
//   --idle URL         load URL and stay open, the window titled as the page (memory readings)
//   --roundtrips URL   load URL, which runs the message benchmark against a script message handler
//                      that replies at once; print the page's report and exit
#include <cstdio>
#include <cstring>
#include <string>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

std::string GSchemeRoot;

void ServeScheme(WebKitURISchemeRequest* request, gpointer) {
  const std::string path = GSchemeRoot + webkit_uri_scheme_request_get_path(request);
  gchar* data = nullptr;
  gsize size = 0;
  if (!g_file_get_contents(path.c_str(), &data, &size, nullptr)) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  static const char* const kTypes[][2] = {{".html", "text/html"},
                                          {".js", "text/javascript"},
                                          {".css", "text/css"},
                                          {".ttf", "font/ttf"}};
  const char* type = "application/octet-stream";
  for (const auto& entry : kTypes) {
    if (g_str_has_suffix(path.c_str(), entry[0])) type = entry[1];
  }
  GBytes* bytes = g_bytes_new_take(data, size);
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  WebKitURISchemeResponse* response =
      webkit_uri_scheme_response_new(stream, static_cast<gint64>(size));
  webkit_uri_scheme_response_set_content_type(response, type);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Access-Control-Allow-Origin", "vlx://");
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  g_object_unref(stream);
  g_bytes_unref(bytes);
}

gboolean OnReplyMessage(WebKitUserContentManager*, JSCValue* message,
                        WebKitScriptMessageReply* reply, gpointer) {
  // The raw round trip: answer with a string at once, as the bridge answers a call.
  JSCContext* context = jsc_value_get_context(message);
  JSCValue* value = jsc_value_new_string(context, "{\"success\":true,\"result\":\"2026.10\"}");
  webkit_script_message_reply_return_value(reply, value);
  g_object_unref(value);
  return TRUE;
}

void OnDone(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  char* text = jsc_value_to_string(value);
  if (text && std::strcmp(text, "DOMContentLoaded") != 0) std::printf("%s\n", text);
  g_free(text);
  std::fflush(stdout);
  gtk_main_quit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: %s --startup|--ready|--idle|--roundtrips URL | --ready-scheme DIR\n",
                 argv[0]);
    return 2;
  }
  const bool startup = std::strcmp(argv[1], "--startup") == 0;
  const bool scheme = std::strcmp(argv[1], "--ready-scheme") == 0;
  const bool ready = scheme || std::strcmp(argv[1], "--ready") == 0;
  gtk_init(&argc, &argv);
  std::string uri = argv[2];
  if (scheme) {
    GSchemeRoot = argv[2];
    uri = "vlx:///index.html";
    WebKitWebContext* context = webkit_web_context_get_default();
    webkit_web_context_register_uri_scheme(context, "vlx", ServeScheme, nullptr, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_local(security, "vlx");
    webkit_security_manager_register_uri_scheme_as_secure(security, "vlx");
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "vlx");
  }
  WebKitUserContentManager* manager = webkit_user_content_manager_new();
  webkit_user_content_manager_register_script_message_handler(manager, "done");
  g_signal_connect(manager, "script-message-received::done", G_CALLBACK(OnDone), nullptr);
  webkit_user_content_manager_register_script_message_handler_with_reply(manager, "raw", nullptr);
  g_signal_connect(manager, "script-message-with-reply-received::raw", G_CALLBACK(OnReplyMessage),
                   nullptr);
  if (startup) {
    WebKitUserScript* script = webkit_user_script_new(
        "document.addEventListener('DOMContentLoaded', () => "
        "window.webkit.messageHandlers.done.postMessage('DOMContentLoaded'));",
        WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr,
        nullptr);
    webkit_user_content_manager_add_script(manager, script);
    webkit_user_script_unref(script);
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  GtkWidget* view = webkit_web_view_new_with_user_content_manager(manager);
  if (std::strcmp(argv[1], "--idle") == 0) {
    g_signal_connect(view, "notify::title",
                     G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, GtkWindow* w) {
                       const char* title = webkit_web_view_get_title(v);
                       gtk_window_set_title(w, title ? title : "");
                     }),
                     window);
  }
  if (ready) {
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
  }
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri.c_str());
  gtk_main();
  return 0;
}
