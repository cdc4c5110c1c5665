#include "browser/MainForm.h"

#include "config/AppKeys.h"
#include "core/StrUtils.h"

namespace velloc::browser {
namespace {

using config::ReadAppKey;
namespace app = config::app;

}  // namespace

void TSizeLimits::SetMaxWidth(int value) {
  FLimits.MaxWidth = value;
  if (value != 0 && value < FLimits.MinWidth) FLimits.MinWidth = value;
}

void TSizeLimits::SetMaxHeight(int value) {
  FLimits.MaxHeight = value;
  if (value != 0 && value < FLimits.MinHeight) FLimits.MinHeight = value;
}

void TSizeLimits::SetMinWidth(int value) {
  FLimits.MinWidth = value;
  if (FLimits.MaxWidth != 0 && value > FLimits.MaxWidth) FLimits.MaxWidth = value;
}

void TSizeLimits::SetMinHeight(int value) {
  FLimits.MinHeight = value;
  if (FLimits.MaxHeight != 0 && value > FLimits.MaxHeight) FLimits.MaxHeight = value;
}

TMainForm::TMainForm(platform::IMainWindow& window, platform::IBrowserFormView& browserView,
                     platform::IWebViewLoader& loader, platform::ISystem& system,
                     TMainFormStartup startup)
    : FWindow(window),
      FBrowserView(browserView),
      FLoader(loader),
      FSystem(system),
      FStartup(std::move(startup)) {}

TMainForm::~TMainForm() {
  FormClose();
}

void TMainForm::FormCreate() {
  const config::TProjectIni& ini = *FStartup.ProjectINI;
  FCanClose = false;

  FBrowserExternalModule = std::make_unique<bridge::TBrowserExternalModule>();
  FBrowserExternalModule->SetExeZip(FStartup.ExeZip);

  FBrowserForm = std::make_unique<TBrowserForm>(FBrowserView, FLoader, FSystem);
  TBrowserForm& form = *FBrowserForm;
  form.FExeZip = FStartup.ExeZip;
  form.FIsRuntime = true;
  form.FAppDirName = FStartup.AppDirName;
  form.FHandleRequests = true;
  form.FRuntimeAppID = FStartup.AppID;
  form.FWithExternal = true;
  form.FAllowDebug = ReadAppKey(ini, app::AllowDebug);
  form.FAllowZoom = ReadAppKey(ini, app::AllowZoom);
  form.FAllowContextMenu = ReadAppKey(ini, app::AllowContextMenu);
  FBrowserView.SetProgressBarVisible(ReadAppKey(ini, app::ShowBrowserProgressBar));
  form.FShowProgressBar = FBrowserView.ProgressBarVisible();
  form.FDevelopmentOrigin = FStartup.DevelopmentOrigin;

  form.OnWebMessageReceived = [this](const platform::TWebMessageEvent& message) {
    if (FBrowserExternalModule) {
      FBrowserExternalModule->BrowserWebMessageReceived(
          {message.Json, message.SourceUri, message.Reply});
    }
  };
  form.OnDocumentTitleChanged = [this] { BrowserDocumentTitleChanged(); };
  FBrowserExternalModule->SetMainForm(&FWindow);
  FBrowserExternalModule->SetBrowserForm(FBrowserForm.get());
  FBrowserExternalModule->SetProjectINI(FStartup.ProjectINI);
  FBrowserExternalModule->SetSystem(&FSystem);
  FBrowserExternalModule->SetFileDialogs(FStartup.FileDialogs);
  FBrowserExternalModule->SetShell(FStartup.Shell);
  FBrowserExternalModule->SetFileSystem(FStartup.FileSystem);
  FBrowserExternalModule->SetWindowList(FStartup.WindowList);
  FBrowserExternalModule->SetSession(FStartup.Session);
  FBrowserExternalModule->SetNetwork(FStartup.Network);
  FBrowserExternalModule->SetNotificationCenter(FStartup.Notifications);
  FBrowserExternalModule->SetValueStore(FStartup.ValueStore);
  FBrowserExternalModule->SetStyles(FStartup.Styles);
  FBrowserExternalModule->SetOnAppCloseRequest([this] { AppCloseRequest(); });
  FBrowserExternalModule->SetDevelopmentOrigin(FStartup.DevelopmentOrigin);

  if (FStartup.ExeZip) {
    std::vector<std::uint8_t> script;
    FStartup.ExeZip->ExtractToStream("vlx-webviewjs", script);
    form.FWebviewJavascript.assign(script.begin(), script.end());
  }

  FWindow.SetCaption(FStartup.AppName);
  FWindow.SetApplicationTitle(FStartup.AppName);

  FWindow.SetBounds({ReadAppKey(ini, app::Top), ReadAppKey(ini, app::Left),
                     ReadAppKey(ini, app::Width), ReadAppKey(ini, app::Height)});
  TSizeLimits limits;
  limits.SetMaxWidth(ReadAppKey(ini, app::MaxWidth));
  limits.SetMaxHeight(ReadAppKey(ini, app::MaxHeight));
  limits.SetMinWidth(ReadAppKey(ini, app::MinWidth));
  limits.SetMinHeight(ReadAppKey(ini, app::MinHeight));
  FWindow.SetSizeConstraints(limits.Constraints());
  FWindow.SetInitialPlacement(ReadAppKey(ini, app::WindowPosition) == 0);

  if (ReadAppKey(ini, app::WindowStyle) == 1) {
    FWindow.SetBorderStyle(platform::TBorderStyle::None);
    FWindow.SetWindowState(platform::TWindowState::Maximized);
    FBrowserExternalModule->SetInFullscreen(true);
  } else {
    const int border = ReadAppKey(ini, app::WindowBorder);
    if (border >= 0 && border <= 5)
      FWindow.SetBorderStyle(static_cast<platform::TBorderStyle>(border));
    if (ReadAppKey(ini, app::WindowState) == 1)
      FWindow.SetWindowState(platform::TWindowState::Maximized);
  }
  if (ReadAppKey(ini, app::WindowOrder) == 1) FWindow.SetTopmost(true);

  const std::vector<std::string> args = FSystem.Arguments();
  const std::string startPage = FStartup.DevelopmentUrl.empty() ? "file:///" + FStartup.AppIndexHtml
                                                                : FStartup.DevelopmentUrl;
  form.FStartPageURL = args.size() == 2 && args[0] == FStartup.AppID ? args[1] : startPage;

  form.InitializeBrowser();
}

bool TMainForm::FormCloseQuery() {
  // Without a page that can answer (no web view, a page whose process failed, a page that does
  // not respond) there is nobody to ask: the user may close the window.
  if (!FBrowserForm || !FBrowserForm->PageCanAnswer()) return true;
  platform::IWebView* browser = FBrowserForm->Browser();
  // Once the page has agreed it is not asked again: its own confirmation would come up while
  // the window closes.
  if (FCanClose) return true;
  browser->ExecuteScript("vlx.events.onCloseQuery();");
  return false;
}

void TMainForm::FormClose() {
  FBrowserExternalModule.reset();
  FBrowserForm.reset();
}

void TMainForm::AppCloseRequest() {
  FCanClose = true;
  FWindow.Close();
}

void TMainForm::LaterStartArrived(const std::vector<std::string>& arguments) {
  // The user asked for the application again: it comes forward, also from the tray.
  if (!FWindow.Visible()) FWindow.Show();
  if (FWindow.WindowState() == platform::TWindowState::Minimized) {
    FWindow.SetWindowState(platform::TWindowState::Normal);
  }
  FWindow.BringToFront();
  platform::IWebView* browser = FBrowserForm ? FBrowserForm->Browser() : nullptr;
  if (!browser) return;
  std::string list = "[";
  for (const std::string& argument : arguments) {
    if (list.size() > 1) list += ',';
    list += TStrUtils::StringToJsonString(argument);
  }
  browser->ExecuteScript("vlx.events.onSecondInstance(" + list + "]);");
}

void TMainForm::BrowserDocumentTitleChanged() {
  if (!ReadAppKey(*FStartup.ProjectINI, config::app::DynamicAppTitle) || !FBrowserForm) return;
  if (platform::IWebView* browser = FBrowserForm->Browser())
    FWindow.SetCaption(browser->DocumentTitle());
}

}  // namespace velloc::browser
