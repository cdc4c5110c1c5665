// A stand-in for the runtime's EmbeddedBrowserWebView.dll: its environment-creation entry records
// what the loader passed and completes at once with a stand-in environment.
#include <cwchar>
#include <windows.h>

#include "WebView2.h"

namespace {

struct TFakeCall {
  int Calls = 0;
  bool FirstArgument = false;
  int RuntimeKind = -1;
  bool HasUserDataFolder = false;
  wchar_t UserDataFolder[512] = {};
  wchar_t AdditionalArguments[1024] = {};
  wchar_t TargetVersion[64] = {};
};

TFakeCall LastCall;

// The environment handed to the completion handler; the loader tests only hold it.
class TFakeEnvironment final : public ICoreWebView2Environment {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICoreWebView2Environment)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream*, int, LPCWSTR, LPCWSTR,
                                                      ICoreWebView2WebResourceResponse**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR*) override { return E_NOTIMPL; }
};

TFakeEnvironment Environment;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool firstArgument, int runtimeKind, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  ++LastCall.Calls;
  LastCall.FirstArgument = firstArgument;
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
    LPWSTR version = nullptr;
    if (SUCCEEDED(options->get_TargetCompatibleBrowserVersion(&version)) && version != nullptr) {
      std::swprintf(LastCall.TargetVersion, 64, L"%ls", version);
      CoTaskMemFree(version);
    }
  }
  return handler->Invoke(S_OK, &Environment);
}

extern "C" __declspec(dllexport) const TFakeCall* FakeLastCall() {
  return &LastCall;
}

extern "C" __declspec(dllexport) void FakeReset() {
  LastCall = TFakeCall();
}
