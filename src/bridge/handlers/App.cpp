// App (family 50) functions: closing, full-screen mode, the command line and navigation.
#include "bridge/handlers/Handlers.h"
#include "config/AppKeys.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {

// 50001 vlx.app.close: the main window closes itself in answer, so there is never a reply.
void AppClose(TBrowserExternalModule& module, const std::string& /*uuid*/,
              const TJsonValue& /*data*/) {
  if (module.OnAppCloseRequest()) module.OnAppCloseRequest()();
}

// 50002 vlx.app.inFullscreen
void AppInFullscreen(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, module.InFullscreen() ? "true" : "false");
}

// 50003 vlx.app.enterFullscreen: flag, then border, then state.
void AppEnterFullscreen(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  if (!module.InFullscreen()) {
    platform::IMainWindow& window = Required(module.MainForm());
    module.SetInFullscreen(true);
    window.SetBorderStyle(platform::TBorderStyle::None);
    window.SetWindowState(platform::TWindowState::Maximized);
  }
  module.ReplySuccess(uuid, "true");
}

// 50004 vlx.app.exitFullscreen: flag, then state, then the configured border. The state and
// border from before are not remembered.
void AppExitFullscreen(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& /*data*/) {
  if (module.InFullscreen()) {
    platform::IMainWindow& window = Required(module.MainForm());
    module.SetInFullscreen(false);
    window.SetWindowState(platform::TWindowState::Normal);
    const int border = config::ReadAppKey(Required(module.ProjectINI()), config::app::WindowBorder);
    if (border >= 0 && border <= 5)
      window.SetBorderStyle(static_cast<platform::TBorderStyle>(border));
  }
  module.ReplySuccess(uuid, "true");
}

// 50005 vlx.app.getArgs: the executable's full path, then every argument after the program.
void AppGetArgs(TBrowserExternalModule& module, const std::string& uuid,
                const TJsonValue& /*data*/) {
  const platform::ISystem& system = Required(module.System());
  std::string result = "[" + TStrUtils::StringToJsonString(system.ExecutablePath());
  for (const std::string& argument : system.Arguments())
    result += "," + TStrUtils::StringToJsonString(argument);
  module.ReplySuccess(uuid, result + "]");
}

// 50006 vlx.app.navigate: at once when the web view shows, else once it has been created.
void AppNavigate(TBrowserExternalModule& module, const std::string& uuid, const TJsonValue& data) {
  const std::string url = TBrowserExternalModule::GetArgString(data, "url", "");
  if (url.empty()) return module.ReplyFailure(uuid, "\"Missing url\"");
  IBridgeBrowserForm& browserForm = Required(module.BrowserForm());
  platform::IWebView* browser = browserForm.Browser();
  if (browser && browser->IsVisible()) {
    browser->Navigate(url);
  } else {
    browserForm.SetStartPageURL(url);
    browserForm.InitializeBrowser();
  }
  module.ReplySuccess(uuid, "true");
}

}  // namespace velloc::bridge::handlers
