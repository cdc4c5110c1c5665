#include <algorithm>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "archive/Calculations.h"
#include "archive/PackagePassword.h"

namespace velloc::archive {
namespace {

TEST(CalculateWidth, ShiftsLettersBackByTheKeyLetter) {
  struct Case {
    std::string text, key, expected;
  } cases[] = {
      {"Hello, World 42!", "A", "Hello, World 42!"},  // A shifts by 0
      {"Bcd-Aa9!", "B", "Abc-Zz9!"},                  // wraps within its own case
      {"abcXYZ", "Z", "bcdYZA"},                      // Z shifts back by 25
      {"aaaa", "BC", "zyzy"},                         // the key repeats
      {"a1a", "BC", "z1z"},                           // a non-letter still uses up its key position
      {"", "QWERTY", ""},
      // Positions count UTF-16 units: "é" is one, an emoji two; neither changes.
      {"\xC3\xA9"
       "a",
       "AB", "\xC3\xA9z"},
      {"\xF0\x9F\x98\x80"
       "a",
       "AAB", "\xF0\x9F\x98\x80z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CalculateWidth(c.text, c.key), c.expected) << c.text << " / " << c.key;
  }
}

TEST(CalculateWidth, RejectsKeysOutsideUpperCaseLetters) {
  for (const std::string key : {"ABc", "A1", "A B", "\xC3\x89", ""}) {
    try {
      (void)CalculateWidth("text", key);
      ADD_FAILURE() << "accepted key \"" << key << '"';
    } catch (const std::invalid_argument& e) {
      if (!key.empty()) {
        EXPECT_STREQ(e.what(), "Invalid character in CalculateWidth key.");
      }
    }
  }
}

TEST(PackagePassword, StoredInputsDecodeToAShellSafePassword) {
  const auto [encoded, key] = StoredPackagePasswordInputs();
  ASSERT_EQ(encoded.size(), 26u);
  ASSERT_EQ(key.size(), 21u);
  EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));

  const std::string password = PackagePassword();
  ASSERT_EQ(password.size(), 26u);
  EXPECT_EQ(password, CalculateWidth(encoded, key));
  for (const std::string_view s : {encoded, std::string_view(password)}) {
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) << s;
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; })) << s;
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) << s;
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](char c) { return std::ispunct(c) != 0; })) << s;
    // Printable ASCII without the characters a shell would interpret.
    for (const char c : s) {
      EXPECT_TRUE(c > ' ' && c < 127) << s;
      EXPECT_EQ(std::string_view("\"'\\$`!;&|<>()*?[]{}~#").find(c), std::string_view::npos) << s;
    }
  }
}

}  // namespace
}  // namespace velloc::archive
