// The boundary between the runtime and the WebKitGTK module. The module is the only binary
// linked against WebKitGTK; the runtime loads it with dlopen, so a machine without WebKitGTK
// still starts the runtime far enough to say what is missing. Both sides are built together
// from this tree, so the boundary is plain C++ guarded by an ABI number.
#pragma once

#include <memory>
#include <string>

#include "platform/Updates.h"
#include "platform/WebView.h"

typedef struct _GtkWidget GtkWidget;

namespace velloc::webkit {

inline constexpr int kModuleAbi = 2;

// The module's file name inside the package.
inline constexpr const char* kModuleEntryName = "VellocWebKitLinux64.so";

struct TWebViewEnvironment {
  std::string UserDataFolder;              // WebKit's data and cache live below it
  std::string AdditionalBrowserArguments;  // the flags it knows become WebKit settings
  // The development server whose pages count as the application's (`velloc run --url`); only
  // start-up's decision, never the arguments, which the package writes.
  std::string DevelopmentOrigin;
};

class IGtkWebView : public platform::IWebView {
 public:
  virtual GtkWidget* Widget() = 0;
};

class IWebKitModule {
 public:
  virtual ~IWebKitModule() = default;
  // The WebKitGTK version, e.g. "2.50.6".
  virtual const char* Version() const = 0;
  // Creates the shared web context; false with a message when WebKit cannot start.
  virtual bool CreateEnvironment(const TWebViewEnvironment& environment, std::string& error) = 0;
  virtual std::unique_ptr<IGtkWebView> CreateWebView(platform::IWebViewEvents& events) = 0;
  // HTTP through libsoup, for the application's updates.
  virtual std::unique_ptr<platform::IHttpClient> CreateHttpClient() = 0;
};

}  // namespace velloc::webkit

extern "C" {
// Returns the module, or null when the caller's ABI differs.
using VellocWebKitModuleFn = velloc::webkit::IWebKitModule* (*)(int abi);
inline constexpr const char* kVellocWebKitModuleSymbol = "velloc_webkit_module";
// The WebKitGTK version text; empty when WebKit is unusable.
using VellocWebKitVersionFn = const char* (*)();
inline constexpr const char* kVellocWebKitVersionSymbol = "velloc_webkit_version";
}
