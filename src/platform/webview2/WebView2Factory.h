// The main window's web views on WebView2. The browser form wants its web view object at once,
// while WebView2 makes its controller asynchronously: the factory hands out a stand-in that
// takes the real view when it arrives and passes every call on to it. The core calls nothing
// before BrowserAfterCreated, which comes after the view has arrived.
#pragma once

#include <functional>
#include <memory>
#include <windows.h>

#include "platform/webview2/WebView2Loader.h"
#include "platform/webview2/WebView2WebView.h"
#include "platform/win32/Win32BrowserFormView.h"

namespace velloc::platform::webview2 {

class TWebView2Factory final : public win32::IWin32WebViewFactory {
 public:
  explicit TWebView2Factory(TWebView2Loader& loader)
      : FEnvironment([&loader] { return loader.Environment(); }), FOptions([&loader] {
          TWebView2Options options;
          options.CrossOriginReads = loader.CrossOriginReads();
          return options;
        }) {}
  // The environment from elsewhere (tests); null while there is none.
  explicit TWebView2Factory(std::function<ICoreWebView2Environment*()> environment,
                            std::function<TWebView2Options()> options = {})
      : FEnvironment(std::move(environment)), FOptions(std::move(options)) {}

  std::unique_ptr<IWebView> CreateWebView(HWND host, IWebViewEvents& events) override;
  void FitWebView(IWebView& view, const RECT& client) override;
  void ParentWindowMoved(IWebView& view) override;

 private:
  std::function<ICoreWebView2Environment*()> FEnvironment;
  std::function<TWebView2Options()> FOptions;
};

}  // namespace velloc::platform::webview2
