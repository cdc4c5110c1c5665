#include "browser/BrowserForm.h"

#include "bridge/VlxSharedJavascript.h"
#include "browser/DownloadPolicy.h"
#include "browser/ResourceServer.h"
#include "core/Text.h"

namespace velloc::browser {
namespace {

std::string DirectoryOf(const std::string& path, char separator) {
  const auto slash = path.rfind(separator);
  return slash == std::string::npos ? std::string(1, separator) : path.substr(0, slash + 1);
}

bool IsBlank(std::string_view text) {
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != '\v') return false;
  }
  return true;
}

}  // namespace

TBrowserForm::TBrowserForm(platform::IBrowserFormView& view, platform::IWebViewLoader& loader,
                           platform::ISystem& system)
    : FAppDirPath(DirectoryOf(system.ExecutablePath(), system.PathSeparator())),
      FView(view),
      FLoader(loader),
      FSystem(system) {}

TBrowserForm::~TBrowserForm() {
  FView.SetTimer(false, kBrowserTimerInterval, nullptr);
  FView.DestroyBrowser();
}

void TBrowserForm::InitializeBrowser() {
  if (FLoader.InitializationError()) {
    FView.ShowMessage(FLoader.ErrorMessage());
  } else if (FLoader.Initialized()) {
    FView.CreateBrowser(*this);
  } else {
    FView.SetTimer(true, kBrowserTimerInterval, [this] { BrowserTimerTimer(); });
  }
}

void TBrowserForm::BrowserTimerTimer() {
  FView.SetTimer(false, kBrowserTimerInterval, nullptr);
  if (!FLoader.Initialized()) {
    FView.SetTimer(true, kBrowserTimerInterval, [this] { BrowserTimerTimer(); });
    return;
  }
  FView.CreateBrowser(*this);
}

std::string TBrowserForm::ComposePageScript() const {
  std::string script;
  if (FWithExternal) {
    script += '\r';
    script += bridge::VlxSharedJavascript();
  }
  script += "\rwindow.addEventListener(\"dragover\", function(e){e.preventDefault();},false);";
  script += "\rwindow.addEventListener(\"drop\", function(e){e.preventDefault();}, false);";
  if (!IsBlank(FWebviewJavascript)) {
    script += '\r';
    script += FWebviewJavascript;
  }
  return script;
}

void TBrowserForm::BrowserAfterCreated() {
  platform::IWebView* browser = Browser();
  if (!browser) return;
  FPermissions.SetDevelopmentOrigin(FDevelopmentOrigin);
  browser->AddScriptToExecuteOnDocumentCreated(ComposePageScript());
  FView.FillBrowserWindow();
  if (FView.BrowserWindowCanFocus()) FView.FocusBrowserWindow();
  platform::TWebViewSettings settings;
  settings.AreDevToolsEnabled = FAllowDebug;
  settings.IsPinchZoomEnabled = FAllowZoom;
  settings.IsZoomControlEnabled = FAllowZoom;
  settings.AreBrowserAcceleratorKeysEnabled = FAllowDebug;
  settings.AreDefaultContextMenusEnabled = FAllowContextMenu;
  browser->ApplySettings(settings);
  // Every package-scheme request reaches BrowserWebResourceRequested; no filter to add.
  if (!FStartPageURL.empty()) browser->Navigate(FStartPageURL);
}

std::optional<platform::TWebResourceResponse> TBrowserForm::BrowserWebResourceRequested(
    std::string_view uri) {
  if (!FHandleRequests) return std::nullopt;
  return ServeFileRequest(uri, FExeZip, FAppDirName, FAppDirPath);
}

platform::TWebResourceResolver TBrowserForm::BrowserResourceResolver() {
  if (!FHandleRequests) return {};
  // The package is never changed while the app runs and outlives every web view, so worker
  // threads extract from it at once.
  return [zip = FExeZip, dirName = FAppDirName, dirPath = FAppDirPath](std::string_view uri) {
    return ServeFileRequest(uri, zip, dirName, dirPath);
  };
}

void TBrowserForm::BrowserWebMessageReceived(const platform::TWebMessageEvent& message) {
  if (OnWebMessageReceived) OnWebMessageReceived(message);
}

void TBrowserForm::BrowserDocumentTitleChanged() {
  if (OnDocumentTitleChanged) OnDocumentTitleChanged();
}

void TBrowserForm::BrowserNavigationStarting() {
  if (FShowProgressBar) FView.SetProgressBarVisible(true);
}

void TBrowserForm::BrowserNavigationCompleted() {
  if (FShowProgressBar) FView.SetProgressBarVisible(false);
}

void TBrowserForm::BrowserDOMContentLoaded() {
  FView.FillBrowserWindow();
  if (OnDOMContentLoaded) OnDOMContentLoaded();
}

void TBrowserForm::BrowserProcessFailed() {
  platform::IWebView* browser = Browser();
  if (!browser) return;
  const auto now = FNow();
  // One reload brings a page back from a crash or a killed process; a page that takes its
  // process down again at once would loop, so it gets a plain error page instead.
  if (FLastProcessFailure && now - *FLastProcessFailure < kProcessRecoveryWindow) {
    FPageFailed = true;
    browser->NavigateToString(ProcessFailedPage());
  } else {
    browser->Reload();
  }
  FLastProcessFailure = now;
}

bool TBrowserForm::PageCanAnswer() const {
  const platform::IWebView* browser = Browser();
  return browser && !FPageFailed && browser->IsResponsive();
}

std::string ProcessFailedPage() {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>The page stopped</title>"
         "<style>body{font:15px sans-serif;margin:3em;color:#333}</style></head><body>"
         "<h1>The page stopped</h1><p>The application's page stopped working and could not be "
         "brought back. Close this window and start the application again.</p></body></html>";
}

bool TBrowserForm::BrowserNewWindowRequested(std::string_view uri, std::string_view openerUri) {
  if (!IsApplicationDocument(uri, FDevelopmentOrigin)) return false;  // the web view's pop-up
  // A page of the application opens in a further instance of the whole application, which
  // gives it the bridge. Only the application's own pages may ask for that, and only for a page
  // of the package or one shipped beside the executable (or of the development server, in its
  // session): a remote page, or a file that a download or another program put somewhere, would
  // otherwise run with the bridge. Any other request opens nothing.
  if (!IsApplicationDocument(openerUri, FDevelopmentOrigin)) return true;
  const auto shipped = [&] {
    if (!IsApplicationDocument(uri)) return true;  // a page of the development server
    const TFileLookup found = LocateFileRequest(uri, FExeZip, FAppDirName, FAppDirPath);
    return found.Location == TFileLocation::Package ||
           found.Location == TFileLocation::BesideExecutable;
  };
  if (shipped()) {
    FSystem.StartProcess(FSystem.ExecutablePath(), {FRuntimeAppID, std::string(uri)});
  }
  return true;
}

platform::TPermissionDecision TBrowserForm::BrowserPermissionRequested(
    std::string_view pageUri, platform::TPermissionKind kind) {
  return FPermissions.Decide(pageUri, kind);
}

void TBrowserForm::BrowserPermissionAnswered(std::string_view pageUri,
                                             platform::TPermissionKind kind, bool allowed) {
  FPermissions.Remember(pageUri, kind, allowed);
}

platform::TDownloadDecision TBrowserForm::BrowserDownloadRequested(
    const platform::TDownloadRequest& request) {
  return DecideDownload(request);
}

}  // namespace velloc::browser
