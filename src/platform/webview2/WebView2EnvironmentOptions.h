// Our own environment options object (it replaces the helper class of Microsoft's SDK): plain
// values that the runtime reads through ICoreWebView2EnvironmentOptions.
#pragma once

#include <atomic>
#include <string>
#include <windows.h>

#include "WebView2.h"

namespace velloc::platform::webview2 {

class TWebView2EnvironmentOptions final : public ICoreWebView2EnvironmentOptions {
 public:
  // A new object with one reference, owned by the caller.
  static TWebView2EnvironmentOptions* Create();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) override;
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) override;

 private:
  TWebView2EnvironmentOptions() = default;
  ~TWebView2EnvironmentOptions() = default;

  std::atomic<ULONG> FReferences{1};
  std::wstring FAdditionalBrowserArguments;
  std::wstring FLanguage;
  std::wstring FTargetCompatibleBrowserVersion;
  BOOL FAllowSingleSignOn = FALSE;
};

}  // namespace velloc::platform::webview2
