// The user's language on Windows: the ISO 639 name of the user's default locale.
#include <windows.h>

#include "startup/LocalizedMessages.h"

namespace velloc::startup {

std::string GetUserLanguageCode() {
  wchar_t name[16] = {};
  const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, 16);
  std::string code;
  // ISO 639 names are ASCII letters; anything else names no language the table knows.
  for (int i = 0; i + 1 < length; ++i) {
    if (name[i] >= L'A' && name[i] <= L'Z') {
      code.push_back(static_cast<char>(name[i] - L'A' + 'a'));
    } else if (name[i] >= L'a' && name[i] <= L'z') {
      code.push_back(static_cast<char>(name[i]));
    } else {
      return {};
    }
  }
  return code;
}

}  // namespace velloc::startup
