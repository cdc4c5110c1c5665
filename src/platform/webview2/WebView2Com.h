// Small COM helpers of the WebView2 backend: an owning interface pointer, UTF-8 <-> UTF-16 at
// the boundary, and strings that COM allocated.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <windows.h>

namespace velloc::platform::webview2 {

// Owns one reference.
template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes over a reference the caller already owns.
  static TComPtr Adopt(T* pointer) {
    TComPtr result;
    result.FPointer = pointer;
    return result;
  }
  // Adds a reference of its own.
  static TComPtr Share(T* pointer) {
    if (pointer != nullptr) pointer->AddRef();
    return Adopt(pointer);
  }
  TComPtr(const TComPtr& other) : FPointer(other.FPointer) {
    if (FPointer != nullptr) FPointer->AddRef();
  }
  TComPtr(TComPtr&& other) noexcept : FPointer(std::exchange(other.FPointer, nullptr)) {}
  TComPtr& operator=(TComPtr other) noexcept {
    std::swap(FPointer, other.FPointer);
    return *this;
  }
  ~TComPtr() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(FPointer, nullptr)) old->Release();
  }
  T* Get() const { return FPointer; }
  T* operator->() const { return FPointer; }
  explicit operator bool() const { return FPointer != nullptr; }
  // For out parameters: releases what it held first.
  T** Put() {
    Reset();
    return &FPointer;
  }
  template <typename U>
  TComPtr<U> As() const {
    TComPtr<U> result;
    if (FPointer != nullptr)
      FPointer->QueryInterface(__uuidof(U), reinterpret_cast<void**>(result.Put()));
    return result;
  }

 private:
  T* FPointer = nullptr;
};

std::wstring ToWide(std::string_view text);
std::string ToUtf8(std::wstring_view text);
// Converts a string that COM allocated and frees it; null gives "".
std::string TakeCoTaskString(LPWSTR text);
// "0x80070005 (Access is denied)": the code and the system's text for it, for the log.
std::string HResultText(HRESULT result);

}  // namespace velloc::platform::webview2
