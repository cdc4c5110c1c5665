#include "platform/win32/WideText.h"

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

}  // namespace velloc::platform::win32
