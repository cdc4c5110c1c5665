#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "core/Text.h"

namespace velloc::text {
namespace {

TEST(Utf8, ValidityAndMultiByte) {
  struct Case {
    std::string bytes;
    bool valid;
    bool multi;
  } cases[] = {
      {"", true, false},
      {"plain ascii", true, false},
      {"caf\xC3\xA9", true, true},
      {"\xE2\x82\xAC", true, true},        // euro sign
      {"\xF0\x9F\x98\x80", true, true},    // emoji, four bytes
      {"\xC3", false, false},              // truncated
      {"\xC0\xAF", false, false},          // overlong "/"
      {"\xED\xA0\x80", false, false},      // encoded surrogate
      {"\xF4\x90\x80\x80", false, false},  // above U+10FFFF
      {"caf\xE9", false, false},           // Latin-1 byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.bytes;
    EXPECT_EQ(IsMultiByteUtf8(c.bytes), c.multi) << c.bytes;
  }
}

// Cross-checks our single-byte tables against iconv, an independent implementation.
std::string Iconv(const char* from, const std::string& bytes) {
  char in[] = "/tmp/velloc-iconv-XXXXXX";
  const int fd = mkstemp(in);
  if (fd < 0) return {};
  FILE* f = fdopen(fd, "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  std::string cmd = std::string("iconv -f ") + from + " -t UTF-8 " + in;
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  pclose(p);
  std::remove(in);
  return out;
}

TEST(SingleByte, Cp437MatchesIconv) {
#ifdef _WIN32
  GTEST_SKIP() << "compared with the host's iconv, which a Windows run does not have";
#endif
  std::string all;
  for (int b = 0x20; b < 0x100; ++b)
    all.push_back(static_cast<char>(b));
  all.erase(all.find('\x7F'), 1);  // iconv maps 0x7F to a graphic character, ZIP tools do not
  EXPECT_EQ(Cp437ToUtf8(all), Iconv("CP437", all));
}

TEST(SingleByte, Windows1252MatchesIconvOnAssignedBytes) {
#ifdef _WIN32
  GTEST_SKIP() << "compared with the host's iconv, which a Windows run does not have";
#endif
  std::string all;
  for (int b = 0x20; b < 0x100; ++b) {
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;  // unassigned
    all.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(Windows1252ToUtf8(all), Iconv("WINDOWS-1252", all));
  EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xC2\x81");
}

TEST(Utf16, RoundTripsAndRepairsLoneSurrogates) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::u16string units = Utf8ToUtf16(text);
  EXPECT_EQ(units, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(units), text);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
  const std::uint8_t le[] = {'h', 0, 0xE9, 0};
  const std::uint8_t be[] = {0, 'h', 0, 0xE9};
  EXPECT_EQ(Utf16ToUtf8(le, false), "h\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(be, true), "h\xC3\xA9");
}

TEST(Case, AsciiAndLocaleFolding) {
  EXPECT_TRUE(AsciiEqualsIgnoreCase("App/Index.HTML", "app/index.html"));
  EXPECT_FALSE(AsciiEqualsIgnoreCase("\xC3\x89", "\xC3\xA9"));  // É and é differ in ASCII folding
  EXPECT_EQ(LocaleUpper("app\xC3\xA9"), "APP\xC3\x89");
  EXPECT_EQ(TrimControl("\t  x = y \r\n"), "x = y");
}

TEST(Text, EscapeControl) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain/Üñí", "plain/Üñí"},          {"\x1B[2J", "\\x1B[2J"},
      {std::string("a\0b", 3), "a\\x00b"}, {"del\x7F", "del\\x7F"},
      {"csi\xC2\x9B", "csi\\u009B"},       {"bad\xFF", "bad\\xFF"},
      {"back\\slash", "back\\\\slash"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EscapeControl(c.in), c.out) << c.in;
}

TEST(Text, AbbreviateCutsAtACharacterBoundary) {
  EXPECT_EQ(Abbreviate("short", 8), "short");
  EXPECT_EQ(Abbreviate("exactly8", 8), "exactly8");
  EXPECT_EQ(Abbreviate("longer than eight", 8), "longe...");
  // "ü" is two bytes: never split.
  EXPECT_EQ(Abbreviate("aaaaüxxxxx", 8), "aaaa...");
  const std::string huge(100u << 20, 'x');
  EXPECT_EQ(Abbreviate(huge, 4096).size(), 4096u);
}

}  // namespace
}  // namespace velloc::text
