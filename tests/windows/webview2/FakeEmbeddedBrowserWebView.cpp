// A stand-in for the runtime's EmbeddedBrowserWebView.dll: its environment-creation entry records
// what the loader passed and completes at once with no environment.
#include <cwchar>
#include <windows.h>

#include "WebView2.h"

namespace {

struct TFakeCall {
  int Calls = 0;
  bool CheckRunningInstance = false;
  int RuntimeKind = -1;
  bool HasUserDataFolder = false;
  wchar_t UserDataFolder[512] = {};
  wchar_t AdditionalArguments[1024] = {};
};

TFakeCall LastCall;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool checkRunningInstance, int runtimeKind, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  ++LastCall.Calls;
  LastCall.CheckRunningInstance = checkRunningInstance;
  LastCall.RuntimeKind = runtimeKind;
  LastCall.HasUserDataFolder = userDataFolder != nullptr;
  std::swprintf(LastCall.UserDataFolder, 512, L"%ls", userDataFolder ? userDataFolder : L"");
  LastCall.AdditionalArguments[0] = L'\0';
  if (options != nullptr) {
    LPWSTR arguments = nullptr;
    if (SUCCEEDED(options->get_AdditionalBrowserArguments(&arguments)) && arguments != nullptr) {
      std::swprintf(LastCall.AdditionalArguments, 1024, L"%ls", arguments);
      CoTaskMemFree(arguments);
    }
  }
  return handler->Invoke(S_OK, nullptr);
}

extern "C" __declspec(dllexport) const TFakeCall* FakeLastCall() {
  return &LastCall;
}

extern "C" __declspec(dllexport) void FakeReset() {
  LastCall = TFakeCall();
}
