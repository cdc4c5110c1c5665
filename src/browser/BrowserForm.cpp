#include "browser/BrowserForm.h"

#include <cstdio>

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
  FView.ClosePageQuestion();
  FView.DestroyBrowser();
}

// An environment that failed, on the first call or while the timer polls, ends the same way as
// a web view that cannot be made: an empty window that never fills would tell nobody anything.
void TBrowserForm::InitializeBrowser() {
  if (FCreationFailed) return;
  if (FLoader.InitializationError()) {
    BrowserCreationFailed(FLoader.ErrorMessage());
  } else if (FLoader.Initialized()) {
    CreateBrowser();
  } else {
    FView.SetTimer(true, kBrowserTimerInterval, [this] { BrowserTimerTimer(); });
  }
}

void TBrowserForm::BrowserTimerTimer() {
  FView.SetTimer(false, kBrowserTimerInterval, nullptr);
  if (FLoader.InitializationError()) {
    BrowserCreationFailed(FLoader.ErrorMessage());
  } else if (!FLoader.Initialized()) {
    FView.SetTimer(true, kBrowserTimerInterval, [this] { BrowserTimerTimer(); });
  } else {
    CreateBrowser();
  }
}

void TBrowserForm::CreateBrowser() {
  // Refused while a web view exists. A backend that knows why it failed has said so already;
  // this names the rest.
  const bool existed = Browser() != nullptr;
  if (!FView.CreateBrowser(*this) && !existed && !Browser())
    BrowserCreationFailed("the platform made no web view");
}

void TBrowserForm::BrowserCreationFailed(std::string_view reason) {
  if (FCreationFailed) return;
  FCreationFailed = true;
  std::fprintf(stderr, "velloc: the web view could not be created: %.*s\n",
               static_cast<int>(reason.size()), reason.data());
  // The user hears of it once the event that brought it has returned: WebView2 forbids modal UI
  // inside its handlers, and the window may not even be shown yet.
  FView.SetTimer(true, 1, [this] {
    FView.SetTimer(false, 1, nullptr);
    if (OnBrowserFailed) OnBrowserFailed();
  });
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
  if (FStartPageURL.empty()) return;
  // A start page that names nothing opens on "Not found" (NotFoundResponse); whoever started the
  // application from a terminal hears which page and where it was looked for.
  if (FHandleRequests && text::AsciiStartsWithIgnoreCase(FStartPageURL, "file:///") &&
      LocateFileRequest(FStartPageURL, FExeZip, FAppDirName, FAppDirPath).Location ==
          TFileLocation::None) {
    const std::string page = text::EscapeControl(RequestPath(FStartPageURL));
    std::fprintf(stderr,
                 "velloc: the start page \"%s\" is not in the package (as \"%s/%s\") nor beside "
                 "the executable\n",
                 page.c_str(), text::EscapeControl(FAppDirName).c_str(), page.c_str());
  }
  browser->Navigate(FStartPageURL);
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
  if (OnNavigationCompleted) OnNavigationCompleted();
}

void TBrowserForm::BrowserDOMContentLoaded() {
  FView.FillBrowserWindow();
  if (OnDOMContentLoaded) OnDOMContentLoaded();
}

void TBrowserForm::BrowserProcessFailed() {
  if (!Browser()) return;
  Carry(FPage.ProcessEnded(FNow()));
}

void TBrowserForm::BrowserResponsivenessChanged(bool responsive) {
  if (!Browser()) return;
  Carry(FPage.ResponsivenessChanged(responsive));
}

void TBrowserForm::Carry(const TPageSteps& steps) {
  if (steps.CloseQuestion) FView.ClosePageQuestion();
  if (steps.Ask) {
    FView.ShowPageQuestion(UnresponsivePageQuestion(),
                           [this](bool reload) { Carry(FPage.Answered(reload)); });
  }
  platform::IWebView* browser = Browser();
  if (!browser) return;
  if (steps.Reload) browser->Reload();
  if (steps.ShowErrorPage) browser->NavigateToString(ProcessFailedPage());
}

bool TBrowserForm::ShowsApplicationDocument() const {
  const platform::IWebView* browser = Browser();
  return browser && IsApplicationDocument(browser->DocumentUri(), FDevelopmentOrigin);
}

bool TBrowserForm::PageCanAnswer() const {
  const platform::IWebView* browser = Browser();
  return browser && FPage.Answering() && browser->IsResponsive() && ShowsApplicationDocument();
}

std::string ProcessFailedPage() {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>The page stopped</title>"
         "<style>body{font:15px sans-serif;margin:3em;color:#333}</style></head><body>"
         "<h1>The page stopped</h1><p>The application's page stopped working and could not be "
         "brought back. Close this window and start the application again.</p></body></html>";
}

platform::TPageQuestion UnresponsivePageQuestion() {
  return {"Page not responding",
          "The application's page is not responding. It may still be working and answer again: "
          "wait for it, or reload it, which loses whatever it has not saved.",
          "Wait", "Reload"};
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
