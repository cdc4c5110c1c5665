// The reference for the runtime benchmarks: the least a WebKitGTK program does to show a page.
//   --startup URL      load URL from disk; exit as soon as the page reports DOMContentLoaded
//   --ready URL        load URL from disk; exit when the page posts to the "done" handler itself
//                      (module scripts from file:// need file access from file URLs)
//   --idle URL         load URL and stay open, the window titled as the page (memory readings)
//   --roundtrips URL   load URL, which runs the message benchmark against a script message handler
//                      that replies at once; print the page's report and exit
#include <cstdio>
#include <cstring>
#include <string>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

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
    std::fprintf(stderr, "usage: %s --startup|--ready|--idle|--roundtrips URL\n", argv[0]);
    return 2;
  }
  const bool startup = std::strcmp(argv[1], "--startup") == 0;
  const bool ready = std::strcmp(argv[1], "--ready") == 0;
  gtk_init(&argc, &argv);
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
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[2]);
  gtk_main();
  return 0;
}
