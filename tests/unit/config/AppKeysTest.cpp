#include <set>
#include <string>

#include <gtest/gtest.h>

#include "config/AppKeys.h"
#include "core/Text.h"

namespace velloc::config {
namespace {

TProjectIni Load(std::string_view text) {
  TProjectIni ini;
  ini.LoadFromText(text);
  return ini;
}

TEST(AppKeys, DefaultsOfAnEmptyConfiguration) {
  const TProjectIni ini;
  struct Case {
    ConfigKey key;
    const char* text;
  } cases[] = {
      {app::ID, ""},
      {app::Name, ""},
      {app::DirName, ""},
      {app::IndexHtml, "index.html"},
      {app::Theme, "Windows"},
      {app::WebviewArguments, ""},
      {app::EdgeInstaller, "true"},
      {app::InstallFormColor, "0xFF00001A"},
      {app::InstallIndicatorColor, "1"},
      {app::InstallIndicatorType, "0"},
      {app::Password, ""},
      {app::AllowInstances, "false"},
      {app::AllowDebug, "false"},
      {app::AllowZoom, "false"},
      {app::AllowContextMenu, "false"},
      {app::ShowBrowserProgressBar, "false"},
      {app::Top, "50"},
      {app::Left, "50"},
      {app::Width, "800"},
      {app::Height, "600"},
      {app::MaxWidth, "0"},
      {app::MaxHeight, "0"},
      {app::MinWidth, "0"},
      {app::MinHeight, "0"},
      {app::WindowPosition, "0"},
      {app::WindowStyle, "0"},
      {app::WindowBorder, "2"},
      {app::WindowState, "0"},
      {app::WindowOrder, "0"},
      {app::DynamicAppTitle, "false"},
      {app::Version, ""},
  };
  std::size_t appKeys = 0;
  for (const ConfigKey& key : kConfigKeys)
    appKeys += ConfigKeySection(key) == kAppSection;
  EXPECT_EQ(std::size(cases), appKeys);
  for (const auto& c : cases) {
    EXPECT_EQ(AppKeyValueText(ini, c.key), c.text) << ConfigKeyName(c.key);
  }
  EXPECT_EQ(ReadAppKey(ini, app::InstallFormColor), -16777190);
}

TEST(AppKeys, TableNamesEveryKeyOnce) {
  std::set<std::string> names;
  for (const ConfigKey& key : kConfigKeys) {
    const std::string name =
        std::string(ConfigKeySection(key)) + "." + text::LocaleUpper(ConfigKeyName(key));
    EXPECT_TRUE(names.insert(name).second) << name;
    // The lookup the packer and `velloc info` use finds every key, in any letter case.
    EXPECT_EQ(FindConfigKey(text::AsciiLower(ConfigKeySection(key)),
                            text::AsciiLower(ConfigKeyName(key))),
              &key);
  }
  EXPECT_EQ(FindConfigKey("App", "Widht"), nullptr);
  EXPECT_EQ(FindConfigKey("Desktop", "Width"), nullptr);
  // The names code reads by are the table's, checked as the program compiles.
  static_assert(app::Width.Default == 800 && app::Width.Section == kAppSection);
  static_assert(desktop::Version.Default == "1.0");
}

// Whether a key's value comes from the file: `velloc info` marks the others "(default)".
TEST(AppKeys, SetOnlyByAValueOfItsType) {
  const TProjectIni ini = Load(
      "[App]\nWidth=wide\nHeight=700\nTop=1\nTop\nAllowDebug=yes\nAllowZoom=1\n"
      "Theme=\nLeft=5\nLeft=x\n");
  struct Case {
    ConfigKey key;
    bool set;
  } cases[] = {
      {app::Width, false},    {app::Height, true}, {app::Top, false},  {app::AllowDebug, false},
      {app::AllowZoom, true}, {app::Theme, true},  {app::Left, false}, {app::Name, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConfigKeyIsSet(ini, c.key), c.set) << ConfigKeyName(c.key);
}

TEST(AppKeys, TypedReads) {
  const TProjectIni ini = Load(
      "[app]\nid=Demo\nIndexHtml=\nWindowBorder=$3\nAllowDebug=-1\nEdgeInstaller=no\n"
      "InstallFormColor=0x00FF8000\nWidth=1024px\n");
  EXPECT_EQ(ReadAppKey(ini, app::ID), "Demo");
  EXPECT_EQ(ReadAppKey(ini, app::IndexHtml), "");  // present and empty: not the default
  EXPECT_EQ(ReadAppKey(ini, app::WindowBorder), 3);
  EXPECT_TRUE(ReadAppKey(ini, app::AllowDebug));
  EXPECT_TRUE(ReadAppKey(ini, app::EdgeInstaller));  // a word: the default
  EXPECT_EQ(ReadAppKey(ini, app::InstallFormColor), 0x00FF8000);
  EXPECT_EQ(ReadAppKey(ini, app::Width), 800);
}

TEST(AppKeys, WebviewArgumentLine) {
  struct Case {
    const char* ini;
    std::string expected;
  } cases[] = {
      {"[App]", std::string(kDefaultWebviewArguments)},
      {"[App]\nWebviewArguments=", std::string(kDefaultWebviewArguments)},
      {"[App]\nWebviewArguments=  \t ", std::string(kDefaultWebviewArguments)},
      {"[App]\nWebviewArguments=--foo --bar", "--foo --bar"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WebviewArgumentLine(Load(c.ini)), c.expected) << c.ini;
}

TEST(AppKeys, IdMustNameOneFolder) {
  const std::string refused[] = {
      "",
      "..",
      ".",
      "../x",
      "a/b",
      "a\\b",
      std::string("nul\0tail", 8),
      "bell\x07",
      "del\x7F",
      "c1\xC2\x9B",
      std::string(256, 'x'),
  };
  for (const std::string& id : refused)
    EXPECT_FALSE(AppIdProblem(id).empty()) << id;
  for (const std::string& id : {std::string("demo.app"), std::string("my..app"),
                                std::string("Démo ü"), std::string(255, 'x')})
    EXPECT_EQ(AppIdProblem(id), "") << id;
}

}  // namespace
}  // namespace velloc::config
