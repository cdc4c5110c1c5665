#include "platform/webview2/WebView2EnvironmentOptions.h"

#include <cstring>
#include <new>

namespace velloc::platform::webview2 {
namespace {

HRESULT Get(const std::wstring& text, LPWSTR* value) {
  if (value == nullptr) return E_POINTER;
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *value = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*value == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*value, text.c_str(), bytes);
  return S_OK;
}

HRESULT Put(std::wstring& field, LPCWSTR value) {
  try {
    field = value != nullptr ? value : L"";
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

TWebView2EnvironmentOptions* TWebView2EnvironmentOptions::Create() {
  return new TWebView2EnvironmentOptions();
}

HRESULT TWebView2EnvironmentOptions::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICoreWebView2EnvironmentOptions)) {
    *object = static_cast<ICoreWebView2EnvironmentOptions*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TWebView2EnvironmentOptions::AddRef() {
  return ++FReferences;
}

ULONG TWebView2EnvironmentOptions::Release() {
  const ULONG left = --FReferences;
  if (left == 0) delete this;
  return left;
}

HRESULT TWebView2EnvironmentOptions::get_AdditionalBrowserArguments(LPWSTR* value) {
  return Get(FAdditionalBrowserArguments, value);
}
HRESULT TWebView2EnvironmentOptions::put_AdditionalBrowserArguments(LPCWSTR value) {
  return Put(FAdditionalBrowserArguments, value);
}
HRESULT TWebView2EnvironmentOptions::get_Language(LPWSTR* value) {
  return Get(FLanguage, value);
}
HRESULT TWebView2EnvironmentOptions::put_Language(LPCWSTR value) {
  return Put(FLanguage, value);
}
HRESULT TWebView2EnvironmentOptions::get_TargetCompatibleBrowserVersion(LPWSTR* value) {
  return Get(FTargetCompatibleBrowserVersion, value);
}
HRESULT TWebView2EnvironmentOptions::put_TargetCompatibleBrowserVersion(LPCWSTR value) {
  return Put(FTargetCompatibleBrowserVersion, value);
}
HRESULT TWebView2EnvironmentOptions::get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) {
  if (allow == nullptr) return E_POINTER;
  *allow = FAllowSingleSignOn;
  return S_OK;
}
HRESULT TWebView2EnvironmentOptions::put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) {
  FAllowSingleSignOn = allow;
  return S_OK;
}

}  // namespace velloc::platform::webview2
