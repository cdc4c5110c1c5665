#include "platform/gtk/WebKitLoader.h"

#include <cstdlib>
#include <dlfcn.h>

#include <sys/stat.h>

#include <gdk/gdk.h>

namespace velloc::platform::gtk {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

TWebKitLoader::~TWebKitLoader() {
  // The module stays loaded: WebKit keeps threads and types of its own until the process ends.
}

bool TWebKitLoader::CheckEdgeIsInstalled(const std::string& loaderLibraryPath) {
  struct stat st {};
  if (::stat(loaderLibraryPath.c_str(), &st) != 0) return false;
  // RTLD_NODELETE: WebKit starts threads as soon as it is loaded, and unloading it under them
  // crashes the process; the start that follows loads the same file again anyway.
  void* handle = ::dlopen(loaderLibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) return false;  // most often: WebKitGTK's own library is missing
  auto version =
      reinterpret_cast<VellocWebKitVersionFn>(::dlsym(handle, kVellocWebKitVersionSymbol));
  const char* text = version ? version() : nullptr;
  const bool installed = text != nullptr && text[0] != '\0';
  ::dlclose(handle);
  return installed;
}

void TWebKitLoader::StartWebView2(const std::string& loaderLibraryPath) {
  // WebKit's web context makes GTK windows of its own and aborts the process without a display;
  // the program entry reports the missing display instead.
  if (!gdk_display_get_default()) {
    FError = "Cannot open the display";
    return;
  }
  FHandle = ::dlopen(loaderLibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char* error = ::dlerror();
    FError =
        std::string("Unable to load the web view module: ") + (error ? error : loaderLibraryPath);
    return;
  }
  auto entry = reinterpret_cast<VellocWebKitModuleFn>(::dlsym(FHandle, kVellocWebKitModuleSymbol));
  FModule = entry ? entry(webkit::kModuleAbi) : nullptr;
  if (!FModule) {
    FError = "The web view module at " + loaderLibraryPath + " does not match this runtime";
    return;
  }
  std::string error;
  webkit::TWebViewEnvironment environment{Env("WEBVIEW2_USER_DATA_FOLDER"),
                                          Env("WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS"),
                                          FDevelopmentOrigin};
  if (!FModule->CreateEnvironment(environment, error))
    FError = error.empty() ? "WebKit did not start" : error;
}

}  // namespace velloc::platform::gtk
