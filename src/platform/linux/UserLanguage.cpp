#include "platform/linux/UserLanguage.h"

#include <glib.h>

#include "core/Text.h"
#include "startup/LocalizedMessages.h"

namespace velloc::platform {

std::string LanguageCodeFromLocaleName(std::string_view localeName) {
  // language[_territory][.codeset][@modifier]
  const std::size_t end = localeName.find_first_of("_.@");
  const std::string_view language = localeName.substr(0, end);
  if (language == "C" || language == "POSIX") return {};
  return text::AsciiLower(language);
}

}  // namespace velloc::platform

namespace velloc::startup {

std::string GetUserLanguageCode() {
  // GLib resolves LANGUAGE, LC_ALL, LC_MESSAGES and LANG in that order; the first name is the
  // user's preferred one.
  const gchar* const* names = g_get_language_names();
  if (names == nullptr || names[0] == nullptr) return {};
  return platform::LanguageCodeFromLocaleName(names[0]);
}

}  // namespace velloc::startup
