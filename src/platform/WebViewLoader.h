// The process-wide web view loader: finds out whether a web view runtime is usable, and starts
// the shared browser environment that every web view of the process is created in.
#pragma once

#include <string>

namespace velloc::platform {

class IWebViewLoader {
 public:
  virtual ~IWebViewLoader() = default;
  // True when the loader library at the path reports an installed web view runtime.
  virtual bool CheckEdgeIsInstalled(const std::string& loaderLibraryPath) = 0;
  // Loads the library and starts creating the environment from the WEBVIEW2_* variables.
  virtual void StartWebView2(const std::string& loaderLibraryPath) = 0;
  virtual bool Initialized() const = 0;
  virtual bool InitializationError() const = 0;
  virtual std::string ErrorMessage() const = 0;
};

}  // namespace velloc::platform
