// UTF-8 <-> UTF-16 at the Win32 boundary, and the system's text rules the core links on Windows:
// the ANSI code page of configuration files and letter case by the user's locale.
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "core/StrUtils.h"
#include "core/Text.h"
#include "platform/SystemText.h"
#include "platform/win32/WideText.h"

namespace velloc::platform::win32 {
namespace {

TEST(WideText, RoundTripsAndRepairs) {
  const struct {
    const char* name;
    std::string utf8;
    std::wstring utf16;
  } cases[] = {
      {"empty", "", L""},
      {"ASCII", "C:\\app\\x.txt", L"C:\\app\\x.txt"},
      {"two and three bytes", "caf\xC3\xA9 \xE2\x82\xAC", L"caf\u00E9 \u20AC"},
      {"four bytes", "\xF0\x9F\x98\x80", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}},
      {"embedded NUL", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Widen(c.utf8), c.utf16) << c.name;
    EXPECT_EQ(Narrow(c.utf16), c.utf8) << c.name;
  }
  // Malformed UTF-8 and lone surrogates become U+FFFD instead of reaching a W call half-done.
  EXPECT_EQ(Widen("a\xFF"
                  "b"),
            L"a\uFFFDb");
  EXPECT_EQ(Widen("\xC3"), L"\uFFFD");
  EXPECT_EQ(Narrow(std::wstring{L'a', wchar_t(0xD800), L'b'}),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Narrow(std::wstring{wchar_t(0xDC00)}), "\xEF\xBF\xBD");
  EXPECT_EQ(Narrow(std::wstring{wchar_t(0xD83D)}), "\xEF\xBF\xBD");  // cut pair at the end
}

// The test prefix runs with code page 1252, whose upper half differs from Latin-1.
TEST(SystemText, AnsiCodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the expectations are those of code page 1252";
  std::u16string out;
  ASSERT_TRUE(platform::DecodeSystemAnsi("caf\xE9 \x80 \x9C", out));
  EXPECT_EQ(text::Utf16ToUtf8(out), "caf\xC3\xA9 \xE2\x82\xAC \xC5\x93");
  ASSERT_TRUE(platform::DecodeSystemAnsi("", out));
  EXPECT_TRUE(out.empty());
}

TEST(SystemText, LocaleUpperCase) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"app", "APP"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"},      // été
      {"\xC3\xA4pp \xC3\xB6", "\xC3\x84PP \xC3\x96"},  // äpp ö
      {"\xCE\xB1\xCE\xB2", "\xCE\x91\xCE\x92"},        // Greek
      {"\xD0\xB4\xD0\xB0", "\xD0\x94\xD0\x90"},        // Cyrillic
      {"\xF0\x9F\x98\x80 x", "\xF0\x9F\x98\x80 X"},    // non-letters stay
  };
  for (const auto& c : cases)
    EXPECT_EQ(text::LocaleUpper(c.in), c.out) << c.in;
}

// The content types of extensions come from the registry: an extension key's "Content Type"
// below HKEY_CLASSES_ROOT, then the MIME database's extensions. The process table puts the
// web's own types over them.
TEST(SystemText, RegisteredMimeTypesAndTheProcessTable) {
  const std::wstring extension = L".velloctest";
  const std::wstring json = L".json";
  const auto setType = [](const std::wstring& key, const wchar_t* type) {
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), L"Content Type", REG_SZ, type,
                           static_cast<DWORD>((wcslen(type) + 1) * sizeof(wchar_t)));
  };
  ASSERT_EQ(setType(extension, L"Application/X-Velloc-Test"), ERROR_SUCCESS);
  // A registration the web cannot use for JSON; the prefix's own one comes back afterwards.
  wchar_t saved[256] = {};
  DWORD savedSize = sizeof saved;
  const bool hadJson = RegGetValueW(HKEY_CLASSES_ROOT, json.c_str(), L"Content Type", RRF_RT_REG_SZ,
                                    nullptr, saved, &savedSize) == ERROR_SUCCESS;
  HKEY jsonKey = nullptr;
  const bool hadJsonKey =
      RegOpenKeyExW(HKEY_CLASSES_ROOT, json.c_str(), 0, KEY_READ, &jsonKey) == ERROR_SUCCESS;
  if (jsonKey) RegCloseKey(jsonKey);
  ASSERT_EQ(setType(json, L"text/plain"), ERROR_SUCCESS);

  std::vector<std::pair<std::string, std::string>> types;
  EXPECT_TRUE(RegisteredMimeTypes(types));
  bool found = false;
  for (const auto& [name, type] : types)
    found = found || (name == ".velloctest" && type == "Application/X-Velloc-Test");
  EXPECT_TRUE(found);

  const TMimeTable table(WithWebMimeTypes(types));
  EXPECT_EQ(table.Lookup("a.VELLOCTEST"), "application/x-velloc-test");
  EXPECT_EQ(table.Lookup("data.json"), "application/json");
  // What the process serves: never the octet-stream of an unknown type for the web's files.
  for (const auto& [file, type] : {std::pair{"a.wasm", "application/wasm"},
                                   {"a.json", "application/json"},
                                   {"a.svg", "image/svg+xml"},
                                   {"a.woff2", "font/woff2"},
                                   {"a.ttf", "font/ttf"},
                                   {"a.mp4", "video/mp4"},
                                   {"a.mp3", "audio/mpeg"}})
    EXPECT_EQ(TStrUtils::ResponseMimeType(file), type) << file;

  RegDeleteKeyW(HKEY_CLASSES_ROOT, extension.c_str());
  if (hadJson) {
    setType(json, saved);
  } else if (hadJsonKey) {
    RegDeleteKeyValueW(HKEY_CLASSES_ROOT, json.c_str(), L"Content Type");
  } else {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, json.c_str());
  }
}

}  // namespace
}  // namespace velloc::platform::win32
