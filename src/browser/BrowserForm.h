// The browser form: owns the web view inside the main window, creates it when the loader's
// environment is ready, gives every page its scripts and settings, serves package files to it
// and shows a thin progress bar while pages load.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "archive/ZipArchive.h"
#include "bridge/BrowserExternalModule.h"
#include "browser/PageProcess.h"
#include "browser/PermissionPolicy.h"
#include "platform/BrowserFormView.h"
#include "platform/System.h"
#include "platform/WebView.h"
#include "platform/WebViewLoader.h"

namespace velloc::browser {

inline constexpr int kBrowserTimerInterval = 300;  // ms between creation attempts

class TBrowserForm final : public platform::IWebViewEvents, public bridge::IBridgeBrowserForm {
 public:
  TBrowserForm(platform::IBrowserFormView& view, platform::IWebViewLoader& loader,
               platform::ISystem& system);
  TBrowserForm(const TBrowserForm&) = delete;
  TBrowserForm& operator=(const TBrowserForm&) = delete;
  ~TBrowserForm() override;

  // Starts creating the web view; changes nothing while it exists.
  void InitializeBrowser() override;
  void BrowserTimerTimer();

  // The page script: the bridge script when FWithExternal, the two drag-and-drop guards and the
  // package's own script when it is not blank, each after a carriage return.
  std::string ComposePageScript() const;

  // IBridgeBrowserForm
  platform::IWebView* Browser() const override { return FView.Browser(); }
  void SetStartPageURL(const std::string& url) override { FStartPageURL = url; }
  std::string AppDirPath() const override { return FAppDirPath; }
  platform::IBrowserFormView& View() { return FView; }

  // True while the top document shown is one of the application's.
  bool ShowsApplicationDocument() const;
  // False when no page can answer a close query: no web view, a page whose process failed for
  // good, one that does not respond, or a document that is not the application's (it has no
  // bridge to answer with).
  bool PageCanAnswer() const;
  // The question about a page that does not answer is open.
  bool AskingAboutPage() const { return FPage.Asking(); }

  // Set by the main window before InitializeBrowser.
  archive::TZipArchive* FExeZip = nullptr;
  bool FIsRuntime = false;
  std::string FRuntimeAppID;
  bool FWithExternal = false;
  std::string FAppDirName;
  std::string FAppDirPath;  // the executable's folder, with a trailing separator
  bool FAllowDebug = false;
  bool FAllowZoom = false;
  bool FAllowContextMenu = false;
  std::string FWebviewJavascript;
  std::string FStartPageURL;
  bool FHandleRequests = false;
  bool FShowProgressBar = false;
  // The development server's origin (`velloc run --url`); empty outside such a session.
  std::string FDevelopmentOrigin;

  // The main window routes these to the bridge module and to itself.
  std::function<void(const platform::TWebMessageEvent&)> OnWebMessageReceived;
  std::function<void()> OnDocumentTitleChanged;
  // The web view cannot be made (reported on standard error already): the main window tells the
  // user and ends. Runs from the form's timer, outside any event of the web view.
  std::function<void()> OnBrowserFailed;
  std::function<void()> OnNavigationCompleted;
  // The top document's DOMContentLoaded: the page has come up.
  std::function<void()> OnDOMContentLoaded;
  // The clock of the process-failure rule; tests set their own.
  std::function<std::chrono::steady_clock::time_point()> FNow = std::chrono::steady_clock::now;

  // IWebViewEvents
  void BrowserAfterCreated() override;
  void BrowserCreationFailed(std::string_view reason) override;
  std::optional<platform::TWebResourceResponse> BrowserWebResourceRequested(
      std::string_view uri) override;
  platform::TWebResourceResolver BrowserResourceResolver() override;
  void BrowserWebMessageReceived(const platform::TWebMessageEvent& message) override;
  void BrowserDocumentTitleChanged() override;
  void BrowserNavigationStarting() override;
  void BrowserNavigationCompleted() override;
  void BrowserDOMContentLoaded() override;
  void BrowserProcessFailed() override;
  void BrowserResponsivenessChanged(bool responsive) override;
  bool BrowserNewWindowRequested(std::string_view uri, std::string_view openerUri) override;
  platform::TPermissionDecision BrowserPermissionRequested(std::string_view pageUri,
                                                           platform::TPermissionKind kind) override;
  void BrowserPermissionAnswered(std::string_view pageUri, platform::TPermissionKind kind,
                                 bool allowed) override;
  platform::TDownloadDecision BrowserDownloadRequested(
      const platform::TDownloadRequest& request) override;

 private:
  platform::IBrowserFormView& FView;
  platform::IWebViewLoader& FLoader;
  platform::ISystem& FSystem;
  void CreateBrowser();
  void Carry(const TPageSteps& steps);

  TPageProcess FPage;
  bool FCreationFailed = false;
  TPermissionPolicy FPermissions;
};

// The document shown when the page's process has failed twice in a row.
std::string ProcessFailedPage();
// The question about a page whose process does not answer.
platform::TPageQuestion UnresponsivePageQuestion();

}  // namespace velloc::browser
