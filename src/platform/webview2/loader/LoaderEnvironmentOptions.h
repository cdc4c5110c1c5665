// The environment options the loader hands to the runtime: the caller's options, with the
// arguments of WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS, when it is set, appended to the caller's
// additional browser arguments, as Microsoft's loader does (so the caller's own switches, such
// as "--disable-features=msEdgeRose", stay). Other option interfaces that the runtime asks for
// come from the caller's object.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <windows.h>

#include "WebView2.h"

namespace velloc::platform::webview2 {

class TLoaderEnvironmentOptions final : public ICoreWebView2EnvironmentOptions {
 public:
  // inner may be null (defaults: empty texts, single sign-on off).
  TLoaderEnvironmentOptions(ICoreWebView2EnvironmentOptions* inner,
                            std::optional<std::wstring> additionalArguments);

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
  ~TLoaderEnvironmentOptions();

  std::atomic<ULONG> FReferences{1};
  ICoreWebView2EnvironmentOptions* FInner;
  std::optional<std::wstring> FAdditionalArguments;
};

// A CoTaskMemAlloc'ed copy, as COM callers free it; null when out of memory.
LPWSTR CoTaskMemString(const std::wstring& text);

}  // namespace velloc::platform::webview2
