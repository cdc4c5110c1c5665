#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StrUtils.h"

namespace velloc {
namespace {

using namespace std::string_literals;

TEST(StringToJsonString, EscapesPerUtf16Unit) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"", R"("")"},
      {"abc", R"("abc")"},
      {"a\nb", R"("a\nb")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {"\x01\x1f", R"("\u0001\u001F")"},
      {"a\0b"s, R"("a\u0000b")"},
      {"\x7f", "\"\x7f\""},
      {R"("\/)", R"("\"\\\/")"},
      {R"(C:\Users\me)", R"("C:\\Users\\me")"},
      {"</script>", R"("<\/script>")"},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},         // U+00E9 copied
      {"\xE2\x82\xAB", "\"\xE2\x82\xAB\""},       // U+20AB, last unit copied
      {"\xE2\x82\xAC", R"("\u20AC")"},            // euro sign
      {"\xEF\xBF\xBF", R"("\uFFFF")"},            //
      {"\xF0\x9F\x98\x80", R"("\uD83D\uDE00")"},  // U+1F600, each surrogate half
      {"\xFF", R"("\uFFFD")"},                    // a malformed byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TStrUtils::StringToJsonString(c.input), c.expected) << c.input;
  }
}

TEST(ExplodeStrings, SplitsAtEveryOccurrence) {
  const struct {
    std::string separator;
    std::string text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"|", "Text files|*.txt", {"Text files", "*.txt"}},
      {"|", "", {""}},
      {";", "a;", {"a", ""}},
      {";", ";a", {"", "a"}},
      {";", ";;", {"", "", ""}},
      {";", "abc", {"abc"}},
      {"::", "a::b:c::", {"a", "b:c", ""}},
      {"", "abc", {"abc"}},  // an empty separator never matches
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TStrUtils::ExplodeStrings(c.separator, c.text), c.pieces)
        << "'" << c.text << "' at '" << c.separator << "'";
  }
}

}  // namespace
}  // namespace velloc
