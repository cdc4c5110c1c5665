#include "platform/webview2/WebView2Loader.h"

#include "platform/webview2/WebView2Arguments.h"
#include "platform/webview2/WebView2Com.h"
#include "platform/webview2/WebView2EnvironmentOptions.h"
#include "platform/webview2/WebView2Handler.h"

namespace velloc::platform::webview2 {
namespace {

using TGetVersion = HRESULT(STDAPICALLTYPE*)(PCWSTR browserExecutableFolder, LPWSTR* versionInfo);
using TCreateEnvironment = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

template <typename T>
T Export(HMODULE library, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Whatever loader library reads the variable (ours, or Microsoft's in its place) finds the
// application's arguments without the switch that would turn web security off.
bool TakeWebSecuritySwitch() {
  constexpr const wchar_t* kName = L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS";
  const DWORD size = GetEnvironmentVariableW(kName, nullptr, 0);
  if (size <= 1) return false;
  std::wstring line(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(kName, line.data(), size);
  if (length == 0 || length >= size) return false;
  line.resize(length);
  const TBrowserArguments arguments = SanitizedBrowserArguments(line);
  if (arguments.CrossOriginReads) SetEnvironmentVariableW(kName, arguments.Line.c_str());
  return arguments.CrossOriginReads;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

// Shared with the completion handler, which may run after the loader is gone.
struct TWebView2Loader::TState {
  TComPtr<ICoreWebView2Environment> Environment;
  bool Initialized = false;
  bool Error = false;
  std::string Message;
};

TWebView2Loader::TWebView2Loader() : FState(std::make_shared<TState>()) {}

TWebView2Loader::~TWebView2Loader() {
  // The environment lives in the runtime library that the loader library loaded: released first.
  FState->Environment.Reset();
  if (FLibrary != nullptr) FreeLibrary(FLibrary);
}

bool TWebView2Loader::CheckEdgeIsInstalled(const std::string& loaderLibraryPath) {
  const std::wstring path = ToWide(loaderLibraryPath);
  if (!FileExists(path)) return false;
  HMODULE library = LoadLibraryW(path.c_str());
  if (library == nullptr) return false;
  bool installed = false;
  if (auto version = Export<TGetVersion>(library, "GetAvailableCoreWebView2BrowserVersionString")) {
    LPWSTR text = nullptr;
    version(nullptr, &text);
    installed = text != nullptr && *text != L'\0';
    if (text != nullptr) CoTaskMemFree(text);
  }
  FreeLibrary(library);
  return installed;
}

void TWebView2Loader::StartWebView2(const std::string& loaderLibraryPath) {
  auto fail = [this](std::string message) {
    FState->Error = true;
    FState->Message = std::move(message);
  };
  FCrossOriginReads = TakeWebSecuritySwitch() || FCrossOriginReads;
  if (FLibrary == nullptr) FLibrary = LoadLibraryW(ToWide(loaderLibraryPath).c_str());
  if (FLibrary == nullptr) {
    fail("Cannot load " + loaderLibraryPath);
    return;
  }
  const auto create =
      Export<TCreateEnvironment>(FLibrary, "CreateCoreWebView2EnvironmentWithOptions");
  if (create == nullptr) {
    fail(loaderLibraryPath + " has no CreateCoreWebView2EnvironmentWithOptions");
    return;
  }

  TWebView2EnvironmentOptions* options = TWebView2EnvironmentOptions::Create();
  options->put_TargetCompatibleBrowserVersion(TargetCompatibleBrowserVersion);
  options->put_AdditionalBrowserArguments(AdditionalBrowserArguments);
  options->put_AllowSingleSignOnUsingOSPrimaryAccount(FALSE);

  std::weak_ptr<TState> state = FState;
  auto* handler =
      TWebView2Handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
                       ICoreWebView2Environment*>::Create([state](HRESULT result,
                                                                  ICoreWebView2Environment*
                                                                      environment) {
        const auto shared = state.lock();
        if (!shared) return S_OK;
        if (SUCCEEDED(result) && environment != nullptr) {
          shared->Environment = TComPtr<ICoreWebView2Environment>::Share(environment);
          shared->Initialized = true;
        } else {
          shared->Error = true;
          shared->Message = "The WebView2 environment was not created: " +
                            HResultText(FAILED(result) ? result : E_FAIL);
        }
        return S_OK;
      });
  // Empty folders: the WEBVIEW2_* variables that start-up set supply them.
  const HRESULT result = create(nullptr, nullptr, options, handler);
  handler->Release();
  options->Release();
  if (FAILED(result) && !FState->Error)
    fail("The WebView2 environment could not be started: " + HResultText(result));
}

bool TWebView2Loader::Initialized() const {
  return FState->Initialized;
}

bool TWebView2Loader::InitializationError() const {
  return FState->Error;
}

std::string TWebView2Loader::ErrorMessage() const {
  return FState->Message;
}

ICoreWebView2Environment* TWebView2Loader::Environment() const {
  return FState->Environment.Get();
}

}  // namespace velloc::platform::webview2
