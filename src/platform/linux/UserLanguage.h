// The user's language from the locale names that GLib reports.
#pragma once

#include <string>
#include <string_view>

namespace velloc::platform {

// The language part of a locale name, lower case: "de_AT.UTF-8" -> "de", "zh_TW" -> "zh",
// "fr" -> "fr". The C and POSIX locales name no language: "".
std::string LanguageCodeFromLocaleName(std::string_view localeName);

}  // namespace velloc::platform
