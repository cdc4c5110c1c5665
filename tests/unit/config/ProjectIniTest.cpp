#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "config/ProjectIni.h"

namespace velloc::config {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

TProjectIni Load(std::string_view bytes) {
  TProjectIni ini;
  ini.LoadFromBytes(Bytes(bytes));
  return ini;
}

constexpr const char* kAbsent = "<absent>";

TEST(ProjectIni, StringDialect) {
  struct Case {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    const char* expected;  // kAbsent: the default is returned
  } cases[] = {
      {"case-insensitive names", "[app]\nid=Demo", "App", "ID", "Demo"},
      {"blanks around key and value", "[App]\n  Width   =   1024  \n", "App", "Width", "1024"},
      {"tabs and controls trimmed", "[App]\n\t\x01Name\t=\tDemo\x1f\n", "App", "Name", "Demo"},
      {"value keeps = and ;", "[App]\nName=a=b; c", "App", "Name", "a=b; c"},
      {"semicolon inside value", "[App]\nName=Demo; beta", "App", "Name", "Demo; beta"},
      {"quotes are part of the value", "[App]\nName=\"Demo\"", "App", "Name", "\"Demo\""},
      {"present empty value", "[App]\nIndexHtml=", "App", "IndexHtml", ""},
      {"last line wins", "[App]\nWidth=900\nWidth=700", "App", "Width", "700"},
      {"last line without value: absent", "[App]\nWidth=900\nwidth", "App", "Width", kAbsent},
      {"value after a bare key", "[App]\nWidth\nWidth=5", "App", "Width", "5"},
      {"comment line", "[App]\n;Name=Hidden", "App", "Name", kAbsent},
      {"indented comment line", "[App]\n   ; Name=Hidden", "App", "Name", kAbsent},
      {"lines before the first section", "Name=Outside\n[App]", "App", "Name", kAbsent},
      {"repeated header continues", "[App]\nA=1\n[Other]\nB=2\n[APP]\nC=3", "App", "A", "1"},
      {"repeated header adds", "[App]\nA=1\n[Other]\nB=2\n[APP]\nC=3", "app", "C", "3"},
      {"other section is separate", "[App]\nA=1\n[Other]\nB=2", "App", "B", kAbsent},
      {"header name trimmed", "[  App \t]\nA=1", "App", "A", "1"},
      {"header with blanks around", "  [App]  \nA=1", "App", "A", "1"},
      {"unclosed header is a key", "[App]\n[Other\nA=1", "App", "A", "1"},
      {"empty header", "[]\nA=1", "", "A", "1"},
      {"CR line ends", "[App]\rA=1\rB=2", "App", "B", "2"},
      {"CRLF line ends", "[App]\r\nA=1\r\nB=2\r\n", "App", "A", "1"},
      {"mixed line ends", "[App]\n\rA=1\r\r\nB=2", "App", "B", "2"},
      {"key with empty name", "[App]\n=x", "App", "", "x"},
      {"missing section", "[App]\nA=1", "Nope", "A", kAbsent},
      {"empty file", "", "App", "A", kAbsent},
      {"non-ASCII letters fold", "\xEF\xBB\xBF[ÄPP]\nÉTÉ=oui", "äpp", "été", "oui"},
  };
  for (const auto& c : cases) {
    const TProjectIni ini = Load(c.text);
    EXPECT_EQ(ini.ReadString(c.section, c.key, kAbsent), c.expected) << c.name;
  }
}

// UTF-16 bytes of `text` with a byte-order mark.
std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(ProjectIni, Encodings) {
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "the expectations are those of code page 1252";
#endif
  const std::u16string utf16 = u"[App]\r\nName=Caf\u00E9 \U0001F600\r\n";
  const char* const expected16 = "Caf\xC3\xA9 \xF0\x9F\x98\x80";
  struct Case {
    const char* name;
    std::string bytes;
    const char* expected;
  } cases[] = {
#ifdef _WIN32
      // Without a mark Windows reads the system's ANSI code page (1252 in the test prefix).
      {"UTF-8 without mark", "[App]\nName=Caf\xC3\xA9", "Caf\xC3\x83\xC2\xA9"},
      {"ANSI code page", "[App]\nName=Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},
#else
      {"UTF-8 without mark", "[App]\nName=Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"Windows-1252 fallback", "[App]\nName=Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},
#endif
      {"UTF-8 with mark", "\xEF\xBB\xBF[App]\nName=Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"UTF-16 LE", Utf16(utf16, false), expected16},
      {"UTF-16 BE", Utf16(utf16, true), expected16},
      {"UTF-16 LE, odd last byte", Utf16(utf16, false) + "x", expected16},
      {"damaged UTF-8 after mark", "\xEF\xBB\xBF[App]\nName=a\xFF", "a\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Load(c.bytes).ReadString("App", "Name", kAbsent), c.expected) << c.name;
  }
  // The same ASCII file with and without a byte-order mark reads the same.
  const std::string ascii = "[App]\nName=Demo\n";
  EXPECT_EQ(Load("\xEF\xBB\xBF" + ascii).ReadString("App", "Name", ""), "Demo");
  EXPECT_EQ(Load(ascii).ReadString("App", "Name", ""), "Demo");
}

TEST(ProjectIni, Integers) {
  struct Case {
    const char* value;
    std::int32_t expected;  // default is 800
  } cases[] = {
      {"1024", 1024},
      {"-5", -5},
      {"+7", 7},
      {"$3", 3},
      {"0x3", 3},
      {"0X1f", 31},
      {"$FFFFFFFF", -1},
      {"0x", 800},
      {"$", 800},
      {"1024px", 800},
      {"", 800},
      {"abc", 800},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", 800},
      {"1 2", 800},
      {"0x100000000", 800},
  };
  for (const auto& c : cases) {
    const TProjectIni ini = Load(std::string("[App]\nWidth=") + c.value);
    EXPECT_EQ(ini.ReadInteger("App", "Width", 800), c.expected) << c.value;
  }
  EXPECT_EQ(Load("[App]").ReadInteger("App", "Width", 800), 800);
}

TEST(ProjectIni, Booleans) {
  struct Case {
    const char* line;
    bool defaultFalse;  // read with default false
    bool defaultTrue;   // read with default true
  } cases[] = {
      {"AllowDebug=1", true, true},     {"AllowDebug=-1", true, true},
      {"AllowDebug=0", false, false},   {"AllowDebug=$10", true, true},
      {"AllowDebug=true", false, true}, {"AllowDebug=false", false, true},
      {"AllowDebug=yes", false, true},  {"AllowDebug=", false, true},
      {"AllowDebug", false, true},      {"Other=1", false, true},
  };
  for (const auto& c : cases) {
    const TProjectIni ini = Load(std::string("[App]\n") + c.line);
    EXPECT_EQ(ini.ReadBool("App", "AllowDebug", false), c.defaultFalse) << c.line;
    EXPECT_EQ(ini.ReadBool("App", "AllowDebug", true), c.defaultTrue) << c.line;
  }
}

TEST(ProjectIni, LoadReplacesContent) {
  TProjectIni ini = Load("[App]\nA=1\n[Old]\nB=2");
  ini.LoadFromBytes(Bytes("[App]\nC=3"));
  EXPECT_EQ(ini.ReadString("App", "A", kAbsent), kAbsent);
  EXPECT_FALSE(ini.SectionExists("Old"));
  EXPECT_EQ(ini.ReadString("App", "C", kAbsent), "3");
}

TEST(ProjectIni, ListsSectionsAndKeys) {
  const TProjectIni ini =
      Load("top=1\n[App]\nID=x\nname=a\nGone=1\n[Tools]\n[app]\nNAME=b\ngone\nEmpty=\n");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"App", "Tools"}));
  // First-appearance order, the deciding line's spelling, absent keys left out.
  EXPECT_EQ(ini.ReadSection("APP"), (std::vector<std::string>{"ID", "NAME", "Empty"}));
  EXPECT_TRUE(ini.ReadSection("Missing").empty());
  EXPECT_TRUE(ini.ValueExists("App", "empty"));
  EXPECT_FALSE(ini.ValueExists("App", "Gone"));
  EXPECT_TRUE(ini.SectionExists("tools"));
}

}  // namespace
}  // namespace velloc::config
