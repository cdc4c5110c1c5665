#include "platform/webview2/loader/LoaderEnvironmentOptions.h"

#include <cstring>

namespace velloc::platform::webview2 {

LPWSTR CoTaskMemString(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

namespace {

HRESULT ReturnString(const std::wstring& text, LPWSTR* value) {
  if (value == nullptr) return E_POINTER;
  *value = CoTaskMemString(text);
  return *value != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

TLoaderEnvironmentOptions::TLoaderEnvironmentOptions(
    ICoreWebView2EnvironmentOptions* inner, std::optional<std::wstring> additionalArguments)
    : FInner(inner), FAdditionalArguments(std::move(additionalArguments)) {
  if (FInner != nullptr) FInner->AddRef();
}

TLoaderEnvironmentOptions::~TLoaderEnvironmentOptions() {
  if (FInner != nullptr) FInner->Release();
}

HRESULT TLoaderEnvironmentOptions::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICoreWebView2EnvironmentOptions)) {
    *object = static_cast<ICoreWebView2EnvironmentOptions*>(this);
    AddRef();
    return S_OK;
  }
  // The later option interfaces (tracking prevention, extensions, channels) are the caller's.
  return FInner != nullptr ? FInner->QueryInterface(riid, object) : E_NOINTERFACE;
}

ULONG TLoaderEnvironmentOptions::AddRef() {
  return ++FReferences;
}

ULONG TLoaderEnvironmentOptions::Release() {
  const ULONG left = --FReferences;
  if (left == 0) delete this;
  return left;
}

HRESULT TLoaderEnvironmentOptions::get_AdditionalBrowserArguments(LPWSTR* value) {
  if (!FAdditionalArguments) {
    if (FInner != nullptr) return FInner->get_AdditionalBrowserArguments(value);
    return ReturnString(L"", value);
  }
  std::wstring arguments;
  LPWSTR caller = nullptr;
  if (FInner != nullptr && SUCCEEDED(FInner->get_AdditionalBrowserArguments(&caller)) &&
      caller != nullptr) {
    arguments = caller;
  }
  if (caller != nullptr) CoTaskMemFree(caller);
  // The variable's arguments come after the caller's: where a switch is given twice the last one
  // counts, and the browser merges the feature lists.
  if (!arguments.empty() && !FAdditionalArguments->empty()) arguments += L' ';
  arguments += *FAdditionalArguments;
  return ReturnString(arguments, value);
}

HRESULT TLoaderEnvironmentOptions::put_AdditionalBrowserArguments(LPCWSTR value) {
  if (FInner != nullptr) return FInner->put_AdditionalBrowserArguments(value);
  return E_NOTIMPL;
}

HRESULT TLoaderEnvironmentOptions::get_Language(LPWSTR* value) {
  return FInner != nullptr ? FInner->get_Language(value) : ReturnString(L"", value);
}

HRESULT TLoaderEnvironmentOptions::put_Language(LPCWSTR value) {
  return FInner != nullptr ? FInner->put_Language(value) : E_NOTIMPL;
}

HRESULT TLoaderEnvironmentOptions::get_TargetCompatibleBrowserVersion(LPWSTR* value) {
  return FInner != nullptr ? FInner->get_TargetCompatibleBrowserVersion(value)
                           : ReturnString(L"", value);
}

HRESULT TLoaderEnvironmentOptions::put_TargetCompatibleBrowserVersion(LPCWSTR value) {
  return FInner != nullptr ? FInner->put_TargetCompatibleBrowserVersion(value) : E_NOTIMPL;
}

HRESULT TLoaderEnvironmentOptions::get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) {
  if (FInner != nullptr) return FInner->get_AllowSingleSignOnUsingOSPrimaryAccount(allow);
  if (allow == nullptr) return E_POINTER;
  *allow = FALSE;
  return S_OK;
}

HRESULT TLoaderEnvironmentOptions::put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) {
  return FInner != nullptr ? FInner->put_AllowSingleSignOnUsingOSPrimaryAccount(allow) : E_NOTIMPL;
}

}  // namespace velloc::platform::webview2
