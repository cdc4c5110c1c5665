// The user's language as Windows names it: the language of the user's default locale, which
// Wine takes from the Unix locale it starts in (LANG=de_AT.UTF-8 gives "de").
#include <cstdlib>
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "startup/LocalizedMessages.h"

namespace velloc::startup {
namespace {

TEST(Win32UserLanguage, TheLanguageOfTheUsersLocale) {
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(::GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH), 0);
  std::string expected;
  for (const wchar_t* c = locale; *c && *c != L'-'; ++c)
    expected.push_back(static_cast<char>(*c));
  const std::string code = GetUserLanguageCode();
  EXPECT_EQ(code, expected) << "user locale";
  // Set by the test's caller to check a locale of its choice.
  if (const char* wanted = std::getenv("VELLOC_EXPECTED_LANGUAGE")) {
    EXPECT_EQ(code, wanted);
  }
}

}  // namespace
}  // namespace velloc::startup
