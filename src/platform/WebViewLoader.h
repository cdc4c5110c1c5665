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
  // Before StartWebView2: the origin of the development server whose pages count as the
  // application's in this session, which start-up takes only from a development package with
  // its session's secret (package/DevelopmentPackage.h). A backend without development sessions
  // keeps that server's pages to the rules of remote pages.
  virtual void SetDevelopmentOrigin(const std::string& origin) { (void)origin; }
  virtual bool Initialized() const = 0;
  virtual bool InitializationError() const = 0;
  virtual std::string ErrorMessage() const = 0;
};

}  // namespace velloc::platform
