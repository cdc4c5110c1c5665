// The pure rules behind the file functions: path rule, file masks, base64, text lines, file types.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/Base64Decode.h"
#include "bridge/FileMask.h"
#include "bridge/FileTypes.h"
#include "bridge/PathRule.h"
#include "bridge/TextFile.h"

namespace velloc::bridge {
namespace {

#ifdef _WIN32
TEST(PathRule, ResolvesAgainstTheExecutableFolder) {
  const struct {
    std::string_view path, expected;
  } cases[] = {
      {"C:\\data\\x.txt", "C:\\data\\x.txt"},
      {"d:/data/x.txt", "d:/data/x.txt"},  // absolute: unchanged, forward slashes included
      {"C:x.txt", "C:x.txt"},              // a drive letter alone makes a path absolute
      {"\\\\server\\share\\x.txt", "\\\\server\\share\\x.txt"},
      {"\\\\?\\C:\\long\\x.txt", "\\\\?\\C:\\long\\x.txt"},
      {"//server/share/x.txt", "C:\\app\\\\\\server\\share\\x.txt"},  // not UNC
      {"data/sub/x.txt", "C:\\app\\data\\sub\\x.txt"},
      {"data\\x.txt", "C:\\app\\data\\x.txt"},
      {"\\x.txt", "C:\\app\\\\x.txt"},  // a leading separator stays inside the folder
      {"/x.txt", "C:\\app\\\\x.txt"},
      {"x", "C:\\app\\x"},
      {"..\\up", "C:\\app\\..\\up"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolvePath(c.path, "C:\\app\\"), c.expected) << c.path;
}

TEST(PathRule, TrailingSeparator) {
  EXPECT_EQ(WithTrailingSeparator("C:\\Temp"), "C:\\Temp\\");
  EXPECT_EQ(WithTrailingSeparator("C:\\Temp\\"), "C:\\Temp\\");
  EXPECT_EQ(WithTrailingSeparator(""), "\\");
}
#else
TEST(PathRule, ResolvesAgainstTheExecutableFolder) {
  const struct {
    std::string_view path, expected;
  } cases[] = {
      {"/etc/hosts", "/etc/hosts"},
      {"/a\\b/c", "/a\\b/c"},  // absolute: unchanged, backslashes included
      {"data/x.txt", "/opt/app/data/x.txt"},
      {"data\\sub\\x.txt", "/opt/app/data/sub/x.txt"},
      {"\\x.txt", "/opt/app//x.txt"},  // a leading backslash stays inside the folder
      {"C:/data/x.txt", "/opt/app/C:/data/x.txt"},
      {"x", "/opt/app/x"},
      {"../up", "/opt/app/../up"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolvePath(c.path, "/opt/app/"), c.expected) << c.path;
}

TEST(PathRule, TrailingSeparator) {
  EXPECT_EQ(WithTrailingSeparator("/tmp"), "/tmp/");
  EXPECT_EQ(WithTrailingSeparator("/tmp/"), "/tmp/");
  EXPECT_EQ(WithTrailingSeparator("/"), "/");
  EXPECT_EQ(WithTrailingSeparator(""), "/");
}
#endif

TEST(FileMask, Matching) {
  const struct {
    std::string_view mask, name;
    bool matches;
  } cases[] = {
      {"*.*", "README", true},
      {"*.*", ".hidden", true},
      {"*.*", "a.b.c", true},
      {"*", "anything at all", true},
      {"*.txt", "notes.txt", true},
      {"*.txt", "NOTES.TXT", true},
      {"*.TXT", "notes.txt", true},
      {"*.txt", "notes.txt.bak", false},
      {"*.txt", ".txt", true},
      {"*.txt", "txt", false},
      {"a*b*c", "abc", true},
      {"a*b*c", "aXXbYYbZZc", true},
      {"a*b*c", "aXXbYYcZZ", false},
      {"**x", "x", true},
      {"?", "a", true},
      {"?", "", false},
      {"?", "ab", false},
      {"???.md", "abc.md", true},
      {"?.md", "é.md", true},  // one character, two bytes
      {"??.md", "é.md", false},
      {"[abc]*", "b1", true},
      {"[abc]*", "B1", true},
      {"[abc]*", "d1", false},
      {"[a-c]x", "Bx", true},
      {"[A-C]x", "bx", true},
      {"[a-c]x", "dx", false},
      {"[!a-c]x", "dx", true},
      {"[!a-c]x", "Ax", false},
      {"[!x]", "X", false},
      {"[0-9][0-9].log", "42.log", true},
      {"[0-9][0-9].log", "4a.log", false},
      {"[]]", "]", true},
      {"[!]]", "a", true},
      {"[a-]", "-", true},
      {"[z-a]", "m", false},
      {"É*", "É1", true},
      {"É*", "é1", false},  // only ASCII letters fold
      {"data.json", "DATA.JSON", true},
      {"a.b", "a.b", true},
      {"a.b", "aXb", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TFileMask(c.mask).Matches(c.name), c.matches) << c.mask << " / " << c.name;
  }
}

TEST(FileMask, RejectsMasksNoFileNameCouldMatch) {
  for (const std::string_view mask :
       {std::string_view(""), std::string_view("   "), std::string_view("a/b"),
        std::string_view("[abc"), std::string_view("[!"), std::string_view("a\0b", 3)}) {
    EXPECT_THROW(TFileMask{mask}, EFileMaskError) << mask;
  }
  EXPECT_NO_THROW(TFileMask(" a "));
}

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

TEST(Base64Decode, Lenient) {
  const struct {
    std::string_view text;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"", {}},
      {"QUJD", Bytes("ABC")},
      {"QUI=", Bytes("AB")},
      {"QQ==", Bytes("A")},
      {"QUJDRA", Bytes("ABC")},  // the incomplete group is ignored
      {"QUJDRA==", Bytes("ABCD")},
      {"QUJ", {}},
      {"SGVsbG8sIHdvcmxkIQ==", Bytes("Hello, world!")},
      {"+/+/", {0xFB, 0xFF, 0xBF}},
      {"A===", {0x00}},  // only the last two characters of the group count as fill
      {"QQ==QUJD", {'A', 0, 0, 'A', 'B', 'C'}},  // fill inside the text decodes as zero bits
      {"QU JD", Bytes("A@\t")},                  // a blank shifts the groups and counts as zero
      {"AAA\xC3\xA9", {0, 0, 0}},                // é is one character, outside the alphabet
      {"AA\xF0\x9F\x98\x80", {0, 0, 0}},         // a character beyond U+FFFF counts twice
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeBase64Lenient(c.text), c.bytes) << c.text;
}

TEST(TextFile, LinesCutAtEveryBreak) {
  using Lines = std::vector<std::string_view>;
  const struct {
    std::string_view text;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\n", {"a"}},
      {"a\n\n", {"a", ""}},
      {"\n", {""}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string_view("a\nb\0c\nd", 7), {"a", "b"}},
      {std::string_view("\0abc", 4), {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SplitTextLines(c.text), c.lines) << c.text;
}

TEST(TextFile, BytesWithMarkAndCrLf) {
  EXPECT_EQ(TextFileBytes(""), "\xEF\xBB\xBF");
  EXPECT_EQ(TextFileBytes("a\nb"),
            "\xEF\xBB\xBF"
            "a\r\nb\r\n");
  EXPECT_EQ(TextFileBytes("é\r\n"),
            "\xEF\xBB\xBF"
            "é\r\n");
}

TEST(FileTypes, Parsing) {
  using Types = std::vector<std::pair<std::string, std::string>>;
  const struct {
    std::string_view text;
    Types types;
  } cases[] = {
      {"", {}},
      {"Images|*.png", {{"Images", "*.png"}}},
      {"Images|*.png;*.jpg", {{"Images", "*.png"}}},
      {"Text|*.txt;All|*.*", {{"Text", "*.txt"}, {"All", "*.*"}}},
      {"Text|*.txt;", {{"Text", "*.txt"}}},
      {"a|b|c;Text|*.txt", {{"Text", "*.txt"}}},
      {"|", {{"", ""}}},
      {"Images", {}},
  };
  for (const auto& c : cases) {
    Types got;
    for (const auto& type : ParseFileTypes(c.text))
      got.emplace_back(type.DisplayName, type.Mask);
    EXPECT_EQ(got, c.types) << c.text;
  }
}

}  // namespace
}  // namespace velloc::bridge
