// A COM handler object around a C++ callable, for the WebView2 events and completions. Invoke is
// a C boundary: an exception is reported and ends there.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <windows.h>

namespace velloc::platform::webview2 {

void ReportHandlerFault(const char* what);

template <typename TInterface, typename... TArgs>
class TWebView2Handler final : public TInterface {
 public:
  using TCallback = std::function<HRESULT(TArgs...)>;

  // A new handler with one reference, owned by the caller.
  static TInterface* Create(TCallback callback) {
    return new TWebView2Handler(std::move(callback));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(TInterface))) {
      *object = static_cast<TInterface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --FReferences;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(TArgs... args) override {
    try {
      return FCallback(args...);
    } catch (const std::exception& error) {
      ReportHandlerFault(error.what());
    } catch (...) {
      ReportHandlerFault("unknown exception");
    }
    return E_FAIL;
  }

 private:
  explicit TWebView2Handler(TCallback callback) : FCallback(std::move(callback)) {}
  ~TWebView2Handler() = default;

  std::atomic<ULONG> FReferences{1};
  TCallback FCallback;
};

}  // namespace velloc::platform::webview2
