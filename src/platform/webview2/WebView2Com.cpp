#include "platform/webview2/WebView2Com.h"

#include <cstdio>
#include <objbase.h>

#include "platform/win32/WideText.h"

namespace velloc::platform::webview2 {

std::wstring ToWide(std::string_view text) {
  return win32::Widen(text);
}

std::string ToUtf8(std::wstring_view text) {
  return win32::Narrow(text);
}

std::string TakeCoTaskString(LPWSTR text) {
  if (text == nullptr) return {};
  std::string result = ToUtf8(text);
  CoTaskMemFree(text);
  return result;
}

std::string HResultText(HRESULT result) {
  char code[16] = {};
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  return std::string(code) + " (" + win32::SystemErrorText(static_cast<unsigned long>(result)) +
         ")";
}

}  // namespace velloc::platform::webview2
