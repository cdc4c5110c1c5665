// The process-wide loader on Windows: checks for a runtime through the loader library's version
// export, and starts the shared environment that every web view is created in. The runtime
// entry constructs it; the main window's host takes Environment() once Initialized() and hands
// it to TWebView2WebView::Create.
#pragma once

#include <memory>
#include <string>
#include <windows.h>

#include "WebView2.h"
#include "platform/WebViewLoader.h"

namespace velloc::platform::webview2 {

class TWebView2Loader final : public IWebViewLoader {
 public:
  // The options the environment is created with.
  static constexpr const wchar_t* TargetCompatibleBrowserVersion = L"146.0.3856.49";
  static constexpr const wchar_t* AdditionalBrowserArguments = L"--disable-features=msEdgeRose";

  TWebView2Loader();
  ~TWebView2Loader() override;
  TWebView2Loader(const TWebView2Loader&) = delete;
  TWebView2Loader& operator=(const TWebView2Loader&) = delete;

  bool CheckEdgeIsInstalled(const std::string& loaderLibraryPath) override;
  void StartWebView2(const std::string& loaderLibraryPath) override;
  bool Initialized() const override;
  bool InitializationError() const override;
  std::string ErrorMessage() const override;

  // The environment once Initialized(); null before. The loader keeps its own reference.
  ICoreWebView2Environment* Environment() const;
  // The application's arguments asked for "--disable-web-security", which StartWebView2 took
  // out of WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS (WebView2Arguments.h): its web views read
  // other origins for the application's documents instead.
  bool CrossOriginReads() const { return FCrossOriginReads; }

 private:
  struct TState;
  std::shared_ptr<TState> FState;
  HMODULE FLibrary = nullptr;
  bool FCrossOriginReads = false;
};

}  // namespace velloc::platform::webview2
