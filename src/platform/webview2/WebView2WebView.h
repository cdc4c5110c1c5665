// The WebView2 backend of the web view contract: one controller and its core web view, with
// the application's pages served from memory and the events routed to IWebViewEvents. Lives on
// the UI thread, like the objects it wraps.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

#include "WebView2.h"
#include "platform/WebView.h"
#include "platform/webview2/WebView2Com.h"

namespace velloc::platform::webview2 {

// Asks the user a yes/no question for a permission decision that says Ask; true means yes.
using TPermissionAsker = std::function<bool(const std::string& question)>;
// Runs a task on the UI thread once the current event handler has returned: WebView2 forbids
// modal UI inside its handlers. By default a thread timer of the UI thread.
using TUiPoster = std::function<void(std::function<void()> task)>;

class TWebView2WebView final : public IWebView {
 public:
  // Answers whether the owner kept the view: one whose owner has gone since (the window closed
  // while WebView2 was still making it) is closed again at once, and raises nothing.
  using TCreated = std::function<bool(std::unique_ptr<TWebView2WebView> view, HRESULT result)>;

  // Creates the controller in parent (asynchronously); created receives the web view, or null
  // and the failure. The host window calls this once the environment is ready; on success the
  // view raises BrowserAfterCreated right after created has kept it.
  static HRESULT Create(ICoreWebView2Environment* environment, HWND parent, IWebViewEvents& events,
                        TCreated created, TPermissionAsker asker = nullptr,
                        TUiPoster poster = nullptr);

  TWebView2WebView(ICoreWebView2Environment* environment, ICoreWebView2Controller* controller,
                   IWebViewEvents& events, TPermissionAsker asker = nullptr,
                   TUiPoster poster = nullptr);
  ~TWebView2WebView() override;
  TWebView2WebView(const TWebView2WebView&) = delete;
  TWebView2WebView& operator=(const TWebView2WebView&) = delete;

  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override;
  void ApplySettings(const TWebViewSettings& settings) override;
  void Navigate(std::string_view uri) override;
  void ExecuteScript(std::string_view script) override;
  std::string DocumentTitle() const override;
  double ZoomFactor() const override;
  void SetZoomFactor(double factor) override;
  bool IsVisible() const override;
  void MoveFocus() override;
  void Reload() override;
  void NavigateToString(std::string_view html) override;
  bool IsResponsive() const override;

  // For the host window: the controller's bounds follow its client rectangle.
  void SetBounds(const RECT& bounds);
  void SetVisible(bool visible);
  void NotifyParentWindowPositionChanged();
  ICoreWebView2Controller* Controller() const { return FController.Get(); }

 private:
  struct TToken {
    HRESULT (STDMETHODCALLTYPE ICoreWebView2::*Remove)(EventRegistrationToken);
    EventRegistrationToken Value;
  };

  void Attach();
  HRESULT WebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* args);
  HRESULT WebMessageReceived(ICoreWebView2WebMessageReceivedEventArgs* args);
  HRESULT NewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* args);
  HRESULT PermissionRequested(ICoreWebView2PermissionRequestedEventArgs* args);
  HRESULT ProcessFailed(ICoreWebView2ProcessFailedEventArgs* args);
  std::string Source() const;

  TComPtr<ICoreWebView2Environment> FEnvironment;
  TComPtr<ICoreWebView2Controller> FController;
  TComPtr<ICoreWebView2> FWebView;
  IWebViewEvents& FEvents;
  TPermissionAsker FAsker;
  TUiPoster FPoster;
  std::vector<TToken> FTokens;
  EventRegistrationToken FDomContentLoadedToken{};
  bool FHasDomContentLoaded = false;
  bool FProcessFailed = false;
  // Replies kept by the bridge check this before posting: the view may be gone by then.
  std::shared_ptr<TWebView2WebView*> FAlive;
};

}  // namespace velloc::platform::webview2
