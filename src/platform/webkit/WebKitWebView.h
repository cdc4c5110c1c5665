// The WebKitGTK web view behind the core's IWebView.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <webkit2/webkit2.h>

#include "platform/gtk/GLibPtr.h"
#include "platform/webkit/ModuleApi.h"
#include "platform/webkit/ResourceWorkers.h"

namespace velloc::webkit {

// Flags of the additional browser arguments that WebKit can honour.
struct TBrowserFlags {
  // "--disable-web-security": application documents may read any web resource without CORS
  // headers. The same-origin policy between frames stays on.
  bool AllowCrossOriginRequests = false;
  bool AutoplayWithoutGesture = false;
  // "--enable-logging=stderr": the page's console messages and uncaught errors go to the
  // terminal (the web process's standard output).
  bool ConsoleToTerminal = false;
  // "--auto-open-devtools-for-tabs": the inspector opens with the page.
  bool OpenInspector = false;
};

class TWebKitWebView final : public IGtkWebView {
 public:
  TWebKitWebView(WebKitWebContext* context, const TBrowserFlags& flags,
                 platform::IWebViewEvents& events);
  TWebKitWebView(const TWebKitWebView&) = delete;
  TWebKitWebView& operator=(const TWebKitWebView&) = delete;
  ~TWebKitWebView() override;

  // The view that issued a package-scheme request, or null for views not made here.
  static TWebKitWebView* FromView(WebKitWebView* view);
  // The owner of a main view, or of the main view that opened a pop-up, while it exists.
  static TWebKitWebView* OwnerOf(WebKitWebView* view);

  GtkWidget* Widget() override { return GTK_WIDGET(FView.Get()); }
  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override;
  void ApplySettings(const platform::TWebViewSettings& settings) override;
  void Navigate(std::string_view uri) override;
  void ExecuteScript(std::string_view script) override;
  void ExecuteScriptInApplicationDocument(std::string_view script) override;
  std::string DocumentUri() const override { return FDocumentUri; }
  std::string DocumentTitle() const override;
  double ZoomFactor() const override;
  void SetZoomFactor(double factor) override;
  bool IsVisible() const override;
  void MoveFocus() override;
  void Reload() override;
  void NavigateToString(std::string_view html) override;
  bool IsResponsive() const override;

  WebKitWebView* View() const { return FView.Get(); }
  // The core's permission rule, for this view and its pop-ups.
  platform::TPermissionDecision PermissionRequested(const std::string& pageUri,
                                                    platform::TPermissionKind kind);
  void PermissionAnswered(const std::string& pageUri, platform::TPermissionKind kind, bool allowed);
  platform::TDownloadDecision DownloadRequested(const platform::TDownloadRequest& request);
  // The document that asks for a permission of this kind in the current page: the top one, or
  // inside an application page the frame that announced it (taken). None when nobody did.
  std::optional<std::string> RequestingDocument(platform::TPermissionKind kind);
  // The origins of other documents shown in frames of the current top document.
  const std::vector<std::string>& ForeignOrigins() const { return FForeignOrigins; }

  // Answers a request of the package scheme; never throws.
  void ServePackageRequest(WebKitURISchemeRequest* request);

 private:
  void Answer(WebKitURISchemeRequest* request,
              std::optional<platform::TWebResourceResponse>& response);
  void ForeignFrame(WebKitWebView* view, WebKitUserMessage* message);
  void FrameIntent(WebKitWebView* view, WebKitUserMessage* message);
  void FrameOpening(WebKitWebView* view, WebKitUserMessage* message);
  // Takes what the web process said about the window asked for now: true when a document of
  // the application's origin inside an application page asks.
  bool ApplicationOpens();
  gboolean UserMessage(WebKitWebView* view, WebKitUserMessage* message);
  // The core's new-window rule for a navigation that asks for a new window, asked by `opener`
  // (empty: a document that is not the application's, or nobody knows which).
  bool NewWindowHandled(WebKitNavigationAction* action, const std::string& opener);
  // The top document's URI, the package scheme mapped to "file:".
  std::string TopDocument() const;
  static void OnTitleChanged(WebKitWebView* view, GParamSpec* spec, TWebKitWebView* self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, TWebKitWebView* self);
  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action,
                             TWebKitWebView* self);
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, TWebKitWebView* self);
  static gboolean OnPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                      TWebKitWebView* self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, TWebKitWebView* self);
  static gboolean OnUserMessage(WebKitWebView* view, WebKitUserMessage* message,
                                TWebKitWebView* self);
  static void OnProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                  TWebKitWebView* self);
  static void OnResponsiveChanged(WebKitWebView* view, GParamSpec* spec, TWebKitWebView* self);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, TWebKitWebView* self);
  static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, TWebKitWebView* self);
  static gboolean OnEvent(GtkWidget* widget, GdkEvent* event, TWebKitWebView* self);

  platform::IWebViewEvents& FEvents;
  TBrowserFlags FFlags;
  // A page that frames ever more origins is named by its first ones.
  static constexpr std::size_t kMaxForeignOrigins = 16;
  std::vector<std::string> FForeignOrigins;
  // Permission requests announced by the page's frames and not yet passed on by WebKit.
  struct TIntent {
    platform::TPermissionKind Kind;
    std::string FrameUri;
    gint64 Time;  // monotonic, in microseconds
  };
  static constexpr std::size_t kMaxIntents = 32;
  static constexpr gint64 kIntentLifetimeUs = 2'000'000;
  std::vector<TIntent> FIntents;
  // The call that may open a window, announced by the web process as it began and not yet
  // over: whether a document of the application asks, and since when (monotonic, in
  // microseconds).
  struct TOpening {
    bool Application;
    gint64 Time;
  };
  std::optional<TOpening> FOpening;
  // The top document shown, as it was when its load committed.
  std::string FDocumentUri;
  bool FInspectorShown = false;
  glib::TObjectPtr<WebKitUserContentManager> FContentManager;
  glib::TObjectPtr<WebKitWebView> FView;
  platform::TWebViewSettings FSettings;
  // Made with the first request; gone before the view.
  std::unique_ptr<TResourceWorkers> FWorkers;
};

}  // namespace velloc::webkit
