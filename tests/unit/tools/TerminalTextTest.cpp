// What `velloc run` writes to the terminal for the application's output: control characters
// escaped, text and line breaks as they are, whatever way the bytes are cut into reads.
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tools/velloc/TerminalText.h"

namespace velloc::cli {
namespace {

// All of `bytes` in one read, then the end.
std::string Shown(std::string_view bytes) {
  TTerminalText text;
  std::string shown = text.Add(bytes);
  return shown + text.Finish();
}

TEST(TerminalText, EscapesEveryControlCharacter) {
  const struct {
    std::string_view bytes, shown;
  } cases[] = {
      {"CONSOLE LOG hello\n", "CONSOLE LOG hello\n"},
      {"a\tb\n", "a\tb\n"},
      {"\x1b]0;pwned\x07", "\\x1b]0;pwned\\x07"},      // sets the window title
      {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},  // colours
      {"line\roverwritten", "line\\x0doverwritten"},   // back to the line's start
      {std::string_view("nul\0", 4), "nul\\x00"},
      {"\x7f", "\\x7f"},
      {"\xc2\x9b"
       "6n",
       "\\u009b6n"},  // CSI asks the terminal to answer
      {"\xc2\x85", "\\u0085"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\x9b", "\\x9b"},  // not UTF-8: a lone byte
      {"\xff\xfe", "\\xff\\xfe"},
      {"\xc0\x9b", "\\xc0\\x9b"},           // overlong
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},  // a surrogate
      {"\xe2\x82x", "\\xe2\\x82x"},         // cut short by another character
  };
  for (const auto& c : cases)
    EXPECT_EQ(Shown(c.bytes), c.shown) << c.shown;
}

// Reads cut anywhere, inside a character too: the same text as in one piece.
TEST(TerminalText, CharactersSplitBetweenReadsStayWhole) {
  const std::string bytes = "\xe2\x82\xac\x1b[1m\xf0\x9f\x98\x80\xc2\x9b\n\xc3";
  const std::string expected = Shown(bytes);
  EXPECT_EQ(expected, "\xe2\x82\xac\\x1b[1m\xf0\x9f\x98\x80\\u009b\n\\xc3");
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
    TTerminalText text;
    std::string shown = text.Add(bytes.substr(0, cut));
    shown += text.Add(bytes.substr(cut));
    shown += text.Finish();
    EXPECT_EQ(shown, expected) << cut;
  }
  TTerminalText byByte;
  std::string shown;
  for (const char c : bytes)
    shown += byByte.Add(std::string_view(&c, 1));
  shown += byByte.Finish();
  EXPECT_EQ(shown, expected);
}

}  // namespace
}  // namespace velloc::cli
