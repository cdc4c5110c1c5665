// velloc-runtime.exe: the program entry on Windows, with WebView2 as the web view.
#include <memory>

#include "platform/webview2/WebView2Factory.h"
#include "platform/webview2/WebView2Loader.h"
#include "runtime/win32/RuntimeEntry.h"

namespace {

using namespace velloc;

class TWebView2WebViews final : public runtime::win32::IRuntimeWebViews {
 public:
  platform::IWebViewLoader& Loader() override { return FLoader; }
  platform::win32::IWin32WebViewFactory& Factory() override { return FFactory; }

 private:
  platform::webview2::TWebView2Loader FLoader;
  platform::webview2::TWebView2Factory FFactory{FLoader};
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return runtime::win32::RunVellocRuntime(instance,
                                          [] { return std::make_unique<TWebView2WebViews>(); });
}
