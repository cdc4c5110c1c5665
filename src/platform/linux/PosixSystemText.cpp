#include <clocale>
#include <cwctype>
#include <locale.h>

#include "platform/SystemText.h"

namespace velloc::platform {

bool DecodeSystemAnsi(std::string_view, std::u16string&) {
  return false;
}

bool RegisteredMimeTypes(std::vector<std::pair<std::string, std::string>>&) {
  return false;
}

namespace {

bool IsHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

char32_t Upper(char32_t cp) {
  // A fixed UTF-8 locale: the process locale may be "C", whose tables know ASCII only.
  static const locale_t kUtf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  if (kUtf8 == locale_t{}) return cp;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), kUtf8));
}

}  // namespace

void UpperCaseByLocale(std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      cp = 0x10000 + ((static_cast<char32_t>(text[i] - 0xD800) << 10) |
                      static_cast<char32_t>(text[i + 1] - 0xDC00));
      ++i;
    }
    if (cp < 0x80) {
      if (cp >= 'a' && cp <= 'z') cp -= 32;
    } else if (cp < 0xD800 || cp > 0xDFFF) {
      cp = Upper(cp);
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  text = std::move(out);
}

}  // namespace velloc::platform
