// The WebView2 backend of the web view contract: one controller and its core web view, with
// the application's pages served from memory at the application origin (WebView2Origin.h) and
// the events routed to IWebViewEvents. Lives on the UI thread, like the objects it wraps.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

#include "WebView2.h"
#include "platform/WebView.h"
#include "platform/webview2/WebView2Com.h"
#include "platform/webview2/WebView2CrossOrigin.h"

namespace velloc::platform::webview2 {

// Asks the user a yes/no question for a permission decision that says Ask; true means yes.
using TPermissionAsker = std::function<bool(const std::string& question)>;
// Runs a task on the UI thread once the current event handler has returned: WebView2 forbids
// modal UI inside its handlers. By default a thread timer of the UI thread.
using TUiPoster = std::function<void(std::function<void()> task)>;
// Asks where to save a download: a save dialog with this title, starting at the path WebView2
// proposes. No value: the user declined.
using TSaveAsker =
    std::function<std::optional<std::string>(const std::string& title, const std::string& path)>;

// What a web view is made with; empty members take the runtime's own.
struct TWebView2Options {
  // "--disable-web-security" was asked for: the application's documents read other origins
  // through the forwarder (WebView2CrossOrigin.h).
  bool CrossOriginReads = false;
  TForwarder Forwarder;
  TPermissionAsker Asker;
  TUiPoster Poster;
  TSaveAsker SaveAsker;
};

class TWebView2WebView final : public IWebView {
 public:
  // Answers whether the owner kept the view: one whose owner has gone since (the window closed
  // while WebView2 was still making it) is closed again at once, and raises nothing.
  using TCreated = std::function<bool(std::unique_ptr<TWebView2WebView> view, HRESULT result)>;

  // Creates the controller in parent (asynchronously); created receives the web view, or null
  // and the failure. The host window calls this once the environment is ready; on success the
  // view raises BrowserAfterCreated right after created has kept it.
  static HRESULT Create(ICoreWebView2Environment* environment, HWND parent, IWebViewEvents& events,
                        TCreated created, TWebView2Options options = {});

  TWebView2WebView(ICoreWebView2Environment* environment, ICoreWebView2Controller* controller,
                   IWebViewEvents& events, TWebView2Options options = {});
  ~TWebView2WebView() override;
  TWebView2WebView(const TWebView2WebView&) = delete;
  TWebView2WebView& operator=(const TWebView2WebView&) = delete;

  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override;
  void ApplySettings(const TWebViewSettings& settings) override;
  // "file:///x" goes to the application origin.
  void Navigate(std::string_view uri) override;
  void ExecuteScript(std::string_view script) override;
  void ExecuteScriptInApplicationDocument(std::string_view script) override;
  std::string DocumentUri() const override;
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
  // An iframe of the top document that WebView2 named (ICoreWebView2_4's FrameCreated): its
  // messages reach the bridge like the top document's, checked the same way.
  struct TFrame {
    TComPtr<ICoreWebView2Frame> Frame;
    TComPtr<ICoreWebView2Frame2> Messages;  // null on runtimes without frame messages
    EventRegistrationToken Destroyed{};
    EventRegistrationToken Message{};
  };

  void Attach();
  void AddFilters();
  HRESULT WebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* args);
  HRESULT ForwardCrossOriginRead(ICoreWebView2WebResourceRequestedEventArgs* args,
                                 ICoreWebView2WebResourceRequest* request, std::string uri,
                                 THeaderList headers);
  HRESULT PutAnswer(ICoreWebView2WebResourceRequestedEventArgs* args, TResourceAnswer answer);
  HRESULT WebMessageReceived(ICoreWebView2WebMessageReceivedEventArgs* args,
                             TComPtr<ICoreWebView2Frame2> frame);
  HRESULT FrameCreated(ICoreWebView2FrameCreatedEventArgs* args);
  void FrameDestroyed(ICoreWebView2Frame* frame);
  HRESULT NewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* args);
  HRESULT PermissionRequested(ICoreWebView2PermissionRequestedEventArgs* args);
  HRESULT DownloadStarting(ICoreWebView2DownloadStartingEventArgs* args);
  HRESULT ProcessFailed(ICoreWebView2ProcessFailedEventArgs* args);
  void PageUnresponsive();
  void NoteFrameNavigation(ICoreWebView2NavigationStartingEventArgs* args);
  // The document that asks for a new window, mapped to "file:" for the application's: the frame
  // where WebView2 names it, else the top document while it shows no frame, else unknown ("").
  std::string OpenerOf(ICoreWebView2NewWindowRequestedEventArgs* args) const;
  void AskNextDownload();
  std::string Source() const;

  TComPtr<ICoreWebView2Environment> FEnvironment;
  TComPtr<ICoreWebView2Controller> FController;
  TComPtr<ICoreWebView2> FWebView;
  IWebViewEvents& FEvents;
  TWebView2Options FOptions;
  std::unique_ptr<TWinHttpForwarder> FOwnForwarder;
  // Every event registration, undone when the view goes.
  std::vector<std::function<void()>> FRemovers;
  bool FHasFrameEvents = false;
  std::vector<std::unique_ptr<TFrame>> FFrames;
  // The navigation this view started (Navigate, Reload): its document request has no referrer.
  std::string FOwnNavigation;
  // Origins of other documents the page's frames showed since its last navigation.
  std::set<std::string> FForeignOrigins;
  // Save questions, one at a time.
  std::deque<std::function<void()>> FDownloadQuestions;
  bool FAskingDownload = false;
  bool FProcessFailed = false;
  // The page's renderer does not answer; a script waits to tell when it does again.
  bool FUnresponsive = false;
  bool FProbing = false;
  // Replies kept by the bridge check this before posting: the view may be gone by then.
  std::shared_ptr<TWebView2WebView*> FAlive;
};

// The page script of every document, before the page's own: "file:///" URLs of the application's
// pages go to the application origin.
std::string ApplicationPageScript();

}  // namespace velloc::platform::webview2
