// The Windows runtime's composition root: start-up, the single-instance rule, the main window
// with every Win32 service, and the message loop, around a web view backend handed in by the
// program entry. velloc-runtime.exe hands in WebView2; a test build of the same code hands in a
// web view of its own.
#pragma once

#include <functional>
#include <memory>
#include <windows.h>

#include "platform/WebViewLoader.h"
#include "platform/win32/Win32BrowserFormView.h"

namespace velloc::runtime::win32 {

// The web views of one process: the loader that start-up checks and starts, and the factory
// that the browser form asks for its web view.
class IRuntimeWebViews {
 public:
  virtual ~IRuntimeWebViews() = default;
  virtual platform::IWebViewLoader& Loader() = 0;
  virtual platform::win32::IWin32WebViewFactory& Factory() = 0;
};

// Made once COM is initialised on the user-interface thread.
using TRuntimeWebViewsMaker = std::function<std::unique_ptr<IRuntimeWebViews>()>;

// Runs the whole runtime and answers the process's exit code.
int RunVellocRuntime(HINSTANCE instance, const TRuntimeWebViewsMaker& makeWebViews);

}  // namespace velloc::runtime::win32
