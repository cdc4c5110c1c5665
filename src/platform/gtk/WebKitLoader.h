// Loads the WebKitGTK module with dlopen and starts its shared environment.
#pragma once

#include <string>

#include "platform/WebViewLoader.h"
#include "platform/webkit/ModuleApi.h"

namespace velloc::platform::gtk {

class TWebKitLoader final : public IWebViewLoader {
 public:
  TWebKitLoader() = default;
  TWebKitLoader(const TWebKitLoader&) = delete;
  TWebKitLoader& operator=(const TWebKitLoader&) = delete;
  ~TWebKitLoader() override;

  bool CheckEdgeIsInstalled(const std::string& loaderLibraryPath) override;
  void StartWebView2(const std::string& loaderLibraryPath) override;
  void SetDevelopmentOrigin(const std::string& origin) override { FDevelopmentOrigin = origin; }
  bool Initialized() const override { return FModule != nullptr && FError.empty(); }
  bool InitializationError() const override { return !FError.empty(); }
  std::string ErrorMessage() const override { return FError; }

  // The started module, or null.
  webkit::IWebKitModule* Module() const { return Initialized() ? FModule : nullptr; }

 private:
  void* FHandle = nullptr;
  webkit::IWebKitModule* FModule = nullptr;
  std::string FError;
  std::string FDevelopmentOrigin;
};

}  // namespace velloc::platform::gtk
