// Window (family 60) functions: stacking, state, caption, zoom, size and border of the main
// window.
#include <string>

#include "bridge/WindowNames.h"
#include "bridge/handlers/Handlers.h"
#include "core/IntText.h"
#include "core/StrUtils.h"

namespace velloc::bridge::handlers {
namespace {

using platform::TWindowState;

platform::IWebView& RequiredBrowser(TBrowserExternalModule& module) {
  return Required(Required(module.BrowserForm()).Browser());
}

std::string JsonString(std::string_view text) {
  return TStrUtils::StringToJsonString(text);
}

}  // namespace

// 60001 vlx.window.getStyle
void WindowGetStyle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, Required(module.MainForm()).Topmost() ? "\"ontop\"" : "\"normal\"");
}

// 60002 vlx.window.setStyle: exactly "ontop" keeps the window above others; anything else not.
void WindowSetStyle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& data) {
  const std::string style = TBrowserExternalModule::GetArgString(data, "style", "normal");
  Required(module.MainForm()).SetTopmost(style == "ontop");
  module.ReplySuccess(uuid, "true");
}

// 60003 vlx.window.getState
void WindowGetState(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, JsonString(WindowStateName(Required(module.MainForm()).WindowState())));
}

// 60004 vlx.window.setState: while the tray icon shows, a minimized window lives on in the tray.
void WindowSetState(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& data) {
  const std::string state = TBrowserExternalModule::GetArgString(data, "state", "normal");
  platform::IMainWindow& window = Required(module.MainForm());
  const bool inTray = module.TrayIconVisible();
  if (state == "normal" || state == "maximized") {
    window.SetWindowState(state == "normal" ? TWindowState::Normal : TWindowState::Maximized);
    if (inTray) {
      window.Show();
      window.BringToFront();
    }
  } else if (state == "minimized") {
    window.SetWindowState(TWindowState::Minimized);
    if (inTray) window.Hide();
  }
  module.ReplySuccess(uuid, "true");
}

// 60005 vlx.window.getTitle
void WindowGetTitle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, JsonString(Required(module.MainForm()).Caption()));
}

// 60006 vlx.window.setTitle: the caption only; the application's title stays.
void WindowSetTitle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& data) {
  Required(module.MainForm()).SetCaption(TBrowserExternalModule::GetArgString(data, "title", ""));
  module.ReplySuccess(uuid, "true");
}

// 60007 vlx.window.getZoom: a text in the user's number format.
void WindowGetZoom(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& /*data*/) {
  const double zoom = RequiredBrowser(module).ZoomFactor();
  const char separator = module.System() ? module.System()->DecimalSeparator() : '.';
  module.ReplySuccess(uuid, JsonString(FormatFloat(zoom, separator)));
}

// 60008 vlx.window.setZoom: a full stop separates decimals whatever the locale. A text that is no
// usable factor resets the zoom and answers false. A factor of zero or less is no usable factor:
// the web view cannot show a page at it.
void WindowSetZoom(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& data) {
  const std::optional<double> factor =
      ParseFloatWithDot(TBrowserExternalModule::GetArgString(data, "factor", ""));
  platform::IWebView& browser = RequiredBrowser(module);
  const bool usable = factor && *factor > 0;
  browser.SetZoomFactor(usable ? *factor : 1.0);
  module.ReplySuccess(uuid, usable ? "true" : "false");
}

// 60009 vlx.window.getSize: the outer rectangle in screen pixels.
void WindowGetSize(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& /*data*/) {
  const platform::TRect r = Required(module.MainForm()).Bounds();
  module.ReplySuccess(uuid, "{\"top\": " + std::to_string(r.Top) + ", \"left\": " +
                                std::to_string(r.Left) + ", \"width\": " + std::to_string(r.Width) +
                                ", \"height\": " + std::to_string(r.Height) + "}");
}

// 60010 vlx.window.setSize: omitted members keep their values; numbers are read leniently, so
// 800.7 gives 800 and "abc" gives 0. The window's size limits still apply.
void WindowSetSize(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& data) {
  platform::IMainWindow& window = Required(module.MainForm());
  const platform::TRect current = window.Bounds();
  const auto read = [&data](const char* name, int value) {
    return text::LenientStrToInt(
        TBrowserExternalModule::GetArgString(data, name, std::to_string(value)));
  };
  const int top = read("top", current.Top);
  const int left = read("left", current.Left);
  const int width = read("width", current.Width);
  const int height = read("height", current.Height);
  window.SetBounds({top, left, width, height});
  module.ReplySuccess(uuid, "true");
}

// 60011 vlx.window.getBorder
void WindowGetBorder(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  module.ReplySuccess(uuid, JsonString(BorderStyleName(Required(module.MainForm()).BorderStyle())));
}

// 60012 vlx.window.setBorder: an unknown name changes nothing; the full-screen flag stays.
void WindowSetBorder(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& data) {
  const std::string name = TBrowserExternalModule::GetArgString(data, "border", "sizeable");
  platform::IMainWindow& window = Required(module.MainForm());
  if (const auto style = BorderStyleFromName(name)) window.SetBorderStyle(*style);
  module.ReplySuccess(uuid, "true");
}

}  // namespace velloc::bridge::handlers
