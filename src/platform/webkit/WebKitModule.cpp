// The runtime side of the WebKitGTK module: the shared web context and the package scheme.
#include <dlfcn.h>
#include <sstream>
#include <string>

#include <webkit2/webkit2.h>

#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/GLibPtr.h"
#include "platform/webkit/ApplicationCookies.h"
#include "platform/webkit/Downloads.h"
#include "platform/webkit/ModuleApi.h"
#include "platform/webkit/NetForwarder.h"
#include "platform/webkit/SchemeRequests.h"
#include "platform/webkit/SoupHttpClient.h"
#include "platform/webkit/Uris.h"
#include "platform/webkit/WebKitWebView.h"
#include "platform/webkit/Workarounds.h"

#define VELLOC_EXPORT __attribute__((visibility("default")))

namespace velloc::webkit {
namespace {

TBrowserFlags ParseBrowserFlags(const std::string& arguments) {
  TBrowserFlags flags;
  std::istringstream words(arguments);
  std::string word;
  while (words >> word) {
    if (word == "--disable-web-security") flags.AllowCrossOriginRequests = true;
    if (word == "--autoplay-policy=no-user-gesture-required") flags.AutoplayWithoutGesture = true;
    if (word == "--enable-logging=stderr") flags.ConsoleToTerminal = true;
    if (word == "--auto-open-devtools-for-tabs") flags.OpenInspector = true;
  }
  return flags;
}

// The folder of this module: WebKit's web processes load it from there as their extension.
std::string ModuleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ParseBrowserFlags), &info) == 0 || !info.dli_fname) return {};
  glib::TGFree<char> folder(g_path_get_dirname(info.dli_fname));
  return folder.Get();
}

void ServePackageScheme(WebKitURISchemeRequest* request, gpointer) {
  TWebKitWebView* owner = TWebKitWebView::FromView(webkit_uri_scheme_request_get_web_view(request));
  if (!owner) {
    FailRequest(request, G_IO_ERROR_NOT_FOUND, "No application page");
    return;
  }
  owner->ServePackageRequest(request);
}

// Application pages are granted every permission, so they may show notifications from the start,
// as an https page that was granted them can: WebKit asks the context for the origins it grants
// whenever it starts a web process. Other origins are asked when they request it.
void GrantApplicationNotifications(WebKitWebContext* context, gpointer) {
  glib::Guarded("granting notifications", [&] {
    GList* allowed = g_list_append(nullptr, webkit_security_origin_new_for_uri("vlx:///"));
    if (!DevelopmentOrigin().empty()) {
      allowed =
          g_list_append(allowed, webkit_security_origin_new_for_uri(DevelopmentOrigin().c_str()));
    }
    webkit_web_context_initialize_notification_permissions(context, allowed, nullptr);
    g_list_free_full(allowed, reinterpret_cast<GDestroyNotify>(webkit_security_origin_unref));
  });
}

TNetForwarder* GForwarder = nullptr;  // the module's, while the application asks for it

void ServeForwardingScheme(WebKitURISchemeRequest* request, gpointer) {
  // Only the application's own views, and only when its arguments ask for it.
  if (!GForwarder || !TWebKitWebView::FromView(webkit_uri_scheme_request_get_web_view(request))) {
    FailRequest(request, G_IO_ERROR_PERMISSION_DENIED, "Not allowed");
    return;
  }
  // Serve fails only before it hands the request on, so a failure here still owes an answer.
  if (!glib::Guarded("forwarding a request", [&] {
        GForwarder->Serve(request);
        return true;
      })) {
    FailRequest(request, G_IO_ERROR_FAILED, "Not forwarded");
  }
}

class TWebKitModule final : public IWebKitModule {
 public:
  const char* Version() const override {
    static const std::string version = std::to_string(webkit_get_major_version()) + "." +
                                       std::to_string(webkit_get_minor_version()) + "." +
                                       std::to_string(webkit_get_micro_version());
    return version.c_str();
  }

  bool CreateEnvironment(const TWebViewEnvironment& environment, std::string& error) override {
    if (FContext) return true;
    FFlags = ParseBrowserFlags(environment.AdditionalBrowserArguments);
    SetDevelopmentOrigin(environment.DevelopmentOrigin);
    ApplyWebKitWorkarounds();
    const std::string data = environment.UserDataFolder + "WebKit/data";
    // The application pages' own cookies, which every web process reads and writes.
    const std::string cookies = data + "/application-cookies.db";
    g_mkdir_with_parents(data.c_str(), 0700);
    StartCookieSession(cookies);
    const std::string cache = environment.UserDataFolder + "WebKit/cache";
    glib::TObjectPtr<WebKitWebsiteDataManager> manager(webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr));
    FContext.Reset(WEBKIT_WEB_CONTEXT(
        g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", manager.Get(), nullptr)));
    if (!FContext) {
      error = "WebKit could not create its web context";
      return false;
    }
    const std::string scheme(kPackageScheme);
    // WebKit hands GStreamer only the URI schemes of this list (the environment variable adds
    // to its own); the web processes inherit it.
    const char* allowed = g_getenv("WEBKIT_GST_ALLOWED_URI_PROTOCOLS");
    const std::string protocols =
        allowed && *allowed ? std::string(allowed) + "," + scheme : std::string(scheme);
    g_setenv("WEBKIT_GST_ALLOWED_URI_PROTOCOLS", protocols.c_str(), TRUE);
    // The web processes read packaged media from this executable themselves.
    glib::TGFree<char> exe(g_file_read_link("/proc/self/exe", nullptr));
    webkit_web_context_set_web_extensions_initialization_user_data(
        FContext.Get(),
        g_variant_new("(sbss)", exe.Get() ? exe.Get() : "", FFlags.AllowCrossOriginRequests,
                      environment.DevelopmentOrigin.c_str(), cookies.c_str()));
    // Every package file is in memory already; WebKit's large browser caches would hold second
    // copies. The document-browser model keeps a small memory cache and the back/forward cache.
    webkit_web_context_set_cache_model(FContext.Get(), WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);
    const std::string extensions = ModuleFolder();
    if (!extensions.empty())
      webkit_web_context_set_web_extensions_directory(FContext.Get(), extensions.c_str());
    webkit_web_context_register_uri_scheme(FContext.Get(), scheme.c_str(), ServePackageScheme,
                                           nullptr, nullptr);
    const std::string forwarding(kForwardingScheme);
    if (FFlags.AllowCrossOriginRequests) {
      FForwarder = std::make_unique<TNetForwarder>(FContext.Get());
      GForwarder = FForwarder.get();
    }
    webkit_web_context_register_uri_scheme(FContext.Get(), forwarding.c_str(),
                                           ServeForwardingScheme, nullptr, nullptr);
    HandleDownloads(FContext.Get());
    g_signal_connect(FContext.Get(), "initialize-notification-permissions",
                     G_CALLBACK(GrantApplicationNotifications), nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(FContext.Get());
    // Local: web pages from elsewhere cannot load package files. Secure and CORS-enabled:
    // package pages get the features of an https site and can fetch their own files.
    webkit_security_manager_register_uri_scheme_as_local(security, scheme.c_str());
    webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "file");
    // Local: remote documents cannot load it at all. Secure: forwarded answers are no mixed
    // content. CORS-enabled: it answers with the application's origin.
    webkit_security_manager_register_uri_scheme_as_local(security, forwarding.c_str());
    webkit_security_manager_register_uri_scheme_as_secure(security, forwarding.c_str());
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, forwarding.c_str());
    return true;
  }

  std::unique_ptr<IGtkWebView> CreateWebView(platform::IWebViewEvents& events) override {
    if (!FContext) return nullptr;
    return std::make_unique<TWebKitWebView>(FContext.Get(), FFlags, events);
  }

  std::unique_ptr<platform::IHttpClient> CreateHttpClient() override { return NewSoupHttpClient(); }

 private:
  glib::TObjectPtr<WebKitWebContext> FContext;
  TBrowserFlags FFlags;
  std::unique_ptr<TNetForwarder> FForwarder;
};

}  // namespace
}  // namespace velloc::webkit

extern "C" VELLOC_EXPORT velloc::webkit::IWebKitModule* velloc_webkit_module(int abi) {
  if (abi != velloc::webkit::kModuleAbi) return nullptr;
  static velloc::webkit::TWebKitModule module;
  return &module;
}

extern "C" VELLOC_EXPORT const char* velloc_webkit_version() {
  return velloc_webkit_module(velloc::webkit::kModuleAbi)->Version();
}
