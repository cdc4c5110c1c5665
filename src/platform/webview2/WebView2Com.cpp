#include "platform/webview2/WebView2Com.h"

#include <climits>
#include <objbase.h>

namespace velloc::platform::webview2 {

std::wstring ToWide(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                      length);
  return result;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length,
                      nullptr, nullptr);
  return result;
}

std::string TakeCoTaskString(LPWSTR text) {
  if (text == nullptr) return {};
  std::string result = ToUtf8(text);
  CoTaskMemFree(text);
  return result;
}

}  // namespace velloc::platform::webview2
