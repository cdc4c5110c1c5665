#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/DesktopKeys.h"

namespace velloc::config {
namespace {

TDesktopConfig Read(std::string_view text, std::vector<std::string>& problems) {
  TProjectIni ini;
  ini.LoadFromText(text);
  return ReadDesktopConfig(ini, problems);
}

TEST(DesktopKeys, ReadsSchemesTypesAndTexts) {
  std::vector<std::string> problems;
  const TDesktopConfig desktop = Read(
      "[App]\nID=x\n[desktop]\nschemes=MyApp, my-app.dev+1 myapp\n"
      "FileTypes=Application/X-MyApp *.MyApp *.mya  My app files ; text/markdown *.md\n"
      "Comment=Notes\tthat stay\nCategories=Office;Utility;\nUnknown=harmless\n"
      "Version=2.1.0~beta1\nMaintainer=Jane <jane@example.com>\n",
      problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(desktop.Schemes, (std::vector<std::string>{"myapp", "my-app.dev+1"}));
  ASSERT_EQ(desktop.FileTypes.size(), 2u);
  EXPECT_EQ(desktop.FileTypes[0].MimeType, "application/x-myapp");
  EXPECT_EQ(desktop.FileTypes[0].Extensions, (std::vector<std::string>{"myapp", "mya"}));
  EXPECT_EQ(desktop.FileTypes[0].Description, "My app files");
  EXPECT_EQ(desktop.FileTypes[1].MimeType, "text/markdown");
  EXPECT_EQ(desktop.FileTypes[1].Description, "");
  EXPECT_EQ(desktop.Comment, "Notes that stay");
  EXPECT_EQ(desktop.Categories, (std::vector<std::string>{"Office", "Utility"}));
  EXPECT_EQ(desktop.Version, "2.1.0~beta1");
  EXPECT_EQ(desktop.Maintainer, "Jane <jane@example.com>");
  EXPECT_FALSE(desktop.Empty());

  const TDesktopConfig none = Read("[App]\nID=x\n", problems);
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.Version, "1.0");
}

TEST(DesktopKeys, UnusableEntriesAreLeftOutWithAReason) {
  const struct {
    const char* line;
    const char* problem;
  } cases[] = {
      {"Schemes=https", "belongs to the web"},
      {"Schemes=FILE", "belongs to the web"},
      {"Schemes=vlx", "belongs to the web"},
      {"Schemes=1app", "must begin with a letter"},
      {"Schemes=my_app", "may hold only"},
      {"Schemes=my/app", "may hold only"},
      {"FileTypes=notatype *.x", "is not a MIME type"},
      {"FileTypes=a/b/c *.x", "is not a MIME type"},
      {"FileTypes=text/x-a\"b *.x", "is not a MIME type"},
      {"FileTypes=application/x-a", "names no pattern"},
      {"FileTypes=application/x-a *.a/b", "is not a file name pattern"},
      {"FileTypes=application/x-a *.", "is not a file name pattern"},
      {"Categories=Office\"Evil", "is not a plain word"},
      {"Version=v1", "must begin with a digit"},
      {"Version=1.0 beta", "must begin with a digit"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> problems;
    const TDesktopConfig desktop = Read(std::string("[Desktop]\n") + c.line + "\n", problems);
    ASSERT_EQ(problems.size(), 1u) << c.line;
    EXPECT_NE(problems[0].find(c.problem), std::string::npos) << c.line << ": " << problems[0];
    EXPECT_TRUE(desktop.Empty()) << c.line;
  }
}

}  // namespace
}  // namespace velloc::config
