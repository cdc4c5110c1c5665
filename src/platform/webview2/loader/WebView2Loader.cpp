// The exports of our WebView2LoaderWin64.dll. Each one is a C boundary: no exception leaves it.
#include <new>
#include <string>
#include <windows.h>

#include "WebView2.h"
#include "platform/webview2/loader/LoaderEnvironmentOptions.h"
#include "platform/webview2/loader/WebView2RuntimeLocator.h"

using velloc::platform::webview2::CoTaskMemString;
using velloc::platform::webview2::EnvironmentValue;
using velloc::platform::webview2::TLoaderEnvironmentOptions;
using velloc::platform::webview2::TWebView2RuntimeLocator;

namespace {

// The environment-creation entry of the runtime's EmbeddedBrowserWebView.dll, as its export table
// and every public loader call it: (a flag whose meaning Microsoft does not publish, passed as
// true as they all pass it; the kind of runtime, 0 installed, 1 a folder; the user data folder;
// the options; the completion handler).
using TCreateEnvironmentInternal =
    HRESULT(STDAPICALLTYPE*)(bool unpublishedFlag, int runtimeKind, PCWSTR userDataFolder,
                             ICoreWebView2EnvironmentOptions* options,
                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
constexpr const char* CreateEnvironmentInternalName = "CreateWebViewEnvironmentWithOptionsInternal";

HRESULT RuntimeNotFound() {
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

HRESULT CreateEnvironment(PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
                          ICoreWebView2EnvironmentOptions* environmentOptions,
                          ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (handler == nullptr) return E_POINTER;
  const auto runtime = TWebView2RuntimeLocator::Find(browserExecutableFolder);
  if (!runtime) return RuntimeNotFound();

  std::wstring dataFolder = userDataFolder != nullptr ? userDataFolder : L"";
  if (auto fromEnvironment = EnvironmentValue(L"WEBVIEW2_USER_DATA_FOLDER"))
    dataFolder = std::move(*fromEnvironment);

  // The runtime library stays loaded: the environment it creates lives in it.
  HMODULE library =
      LoadLibraryExW(runtime->LibraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  const auto create = reinterpret_cast<TCreateEnvironmentInternal>(
      reinterpret_cast<void*>(GetProcAddress(library, CreateEnvironmentInternalName)));
  if (create == nullptr) {
    FreeLibrary(library);
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }

  auto* options = new TLoaderEnvironmentOptions(
      environmentOptions, EnvironmentValue(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS"));
  const HRESULT result =
      create(true, static_cast<int>(runtime->Kind),
             dataFolder.empty() ? nullptr : dataFolder.c_str(), options, handler);
  options->Release();
  return result;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  try {
    return CreateEnvironment(browserExecutableFolder, userDataFolder, environmentOptions,
                             environmentCreatedHandler);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2Environment(
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  return CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, nullptr,
                                                  environmentCreatedHandler);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                 LPWSTR* versionInfo) {
  if (versionInfo == nullptr) return E_POINTER;
  *versionInfo = nullptr;
  try {
    const auto runtime = TWebView2RuntimeLocator::Find(browserExecutableFolder);
    if (!runtime) return RuntimeNotFound();
    *versionInfo = CoTaskMemString(runtime->Version);
    return *versionInfo != nullptr ? S_OK : E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
