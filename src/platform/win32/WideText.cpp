#include "platform/win32/WideText.h"

#include <windows.h>

#include "core/Text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t holds UTF-16 code units");

namespace velloc::platform::win32 {

std::wstring Widen(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view utf16) {
  const std::u16string units(utf16.begin(), utf16.end());
  return text::Utf16ToUtf8(units);
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : std::wstring();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (!text.empty() && text.back() == L'.') text.pop_back();
  if (text.empty()) return "Error " + std::to_string(code);
  return Narrow(text);
}

}  // namespace velloc::platform::win32
