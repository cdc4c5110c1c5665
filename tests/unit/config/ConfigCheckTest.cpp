#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/ConfigCheck.h"

namespace velloc::config {
namespace {

std::vector<std::string> Check(std::string_view text) {
  std::vector<std::string> lines;
  for (const TConfigWarning& warning : CheckConfiguration(text))
    lines.push_back(std::to_string(warning.Line) + ": " + warning.Text);
  return lines;
}

using Lines = std::vector<std::string>;

TEST(ConfigCheck, Table) {
  struct Case {
    const char* name;
    const char* ini;
    Lines expected;
  } cases[] = {
      {"a sound file",
       "; comment\n[app]\nid=x\nNAME=Demo\nDirName=web\nIndexHtml=\n"
       "WindowBorder=$3\nWidth = 0x400\nAllowDebug=-1\n[Desktop]\nSchemes=a\n",
       {}},
      {"a key misspelt",
       "[App]\nID=x\nWidht=900\n",
       {"3: unknown key Widht in [App] is ignored; did you mean Width?"}},
      {"a key far from any",
       "[App]\nFavouriteColour=blue\n",
       {"2: unknown key FavouriteColour in [App] is ignored"}},
      {"a key of another section",
       "[App]\nSchemes=myapp\n[Desktop]\nWidth=3\n",
       {"2: unknown key Schemes in [App] is ignored; it belongs in [Desktop]",
        "4: unknown key Width in [Desktop] is ignored; it belongs in [App]"}},
      {"a word for a number",
       "[App]\nWidth=wide\n",
       {"2: \"Width=wide\": the value is not a whole number; Width reads as 800 (its default)"}},
      {"a unit after a number",
       "[App]\nHeight=600px\n",
       {"2: \"Height=600px\": the value is not a whole number; Height reads as 600 (its "
        "default)"}},
      {"a later line decides",
       "[App]\nWidth=wide\nWidth=900\n",
       {"2: \"Width=wide\": the value is not a whole number; Width reads as 900"}},
      {"a word for a boolean",
       "[App]\nAllowDebug=yes\nAllowZoom=true\n",
       {"2: \"AllowDebug=yes\": the value is not 1 (on) or 0 (off); AllowDebug reads as false "
        "(its default)",
        "3: \"AllowZoom=true\": the value is not 1 (on) or 0 (off); AllowZoom reads as false "
        "(its default)"}},
      {"a colour by name",
       "[App]\nInstallFormColor=red\n",
       {"2: \"InstallFormColor=red\": the value is not a colour number (0x00BBGGRR); "
        "InstallFormColor reads as 0xFF00001A (its default)"}},
      {"lines without =",
       "[App]\nWidth=900\nFullscreen\nWidth\n",
       {"3: \"Fullscreen\" has no \"=\" and sets nothing",
        "4: \"Width\" has no \"=\" and sets nothing; Width reads as 800 (its default)"}},
      // The section, not its keys, is what is wrong: said once, at its header.
      {"a section misspelt",
       "[Ap]\nID=x\nName=y\nDirName=web\n",
       {"1: unknown section [Ap]: its keys are ignored; did you mean [App]?"}},
      {"a section of the author's own",
       "[App]\nID=x\n[Settings]\nColour=red\n",
       {"3: unknown section [Settings]: its keys are ignored"}},
      {"keys before any section",
       "ID=x\n[App]\nName=y\n",
       {"1: \"ID=x\" comes before any section header and is ignored"}},
      {"names shown escaped",
       "[App]\nWid\x1b[2Jth=1\n[a\x07"
       "b]\n",
       {"2: unknown key Wid\\x1B[2Jth in [App] is ignored",
        "3: unknown section [a\\x07b]: its keys are ignored"}},
      {"line numbers count every line end",
       "[App]\r\n\r\n; c\rWidht=1\n",
       {"4: unknown key Widht in [App] is ignored; did you mean Width?"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Check(c.ini), c.expected) << c.name;
}

TEST(ConfigCheck, NearestName) {
  const std::vector<std::string_view> known = {"App", "Desktop", "Width", "WindowBorder",
                                               "AllowDebug"};
  struct Case {
    const char* name;
    const char* nearest;
  } cases[] = {
      {"Ap", "App"},
      {"ap", "App"},
      {"Widht", "Width"},
      {"width", "Width"},
      {"WindowBoder", "WindowBorder"},
      {"AllowDebgu", "AllowDebug"},
      {"Dekstop", "Desktop"},
      {"Wx", ""},
      {"Window", ""},
      {"", ""},
      {"Colour", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NearestName(c.name, known), c.nearest) << c.name;
}

}  // namespace
}  // namespace velloc::config
