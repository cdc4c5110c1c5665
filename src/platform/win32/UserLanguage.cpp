// The user's language on Windows: the ISO 639 name of the user's default locale.
#include <windows.h>

#include "platform/win32/WideText.h"
#include "startup/LocalizedMessages.h"

namespace velloc::startup {

std::string GetUserLanguageCode() {
  wchar_t name[16] = {};
  const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, 16);
  if (length <= 1) return {};
  return platform::win32::Narrow(std::wstring_view(name, static_cast<std::size_t>(length - 1)));
}

}  // namespace velloc::startup
