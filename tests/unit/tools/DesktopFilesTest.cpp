#include <string>

#include <gtest/gtest.h>

#include "tools/velloc/DesktopFiles.h"

namespace velloc::cli {
namespace {

TEST(DesktopFiles, NamesFromTheId) {
  const struct {
    const char* id;
    const char* desktopId;
    const char* package;
  } cases[] = {
      {"com.example.Notes", "com.example.Notes", "com.example.notes"},
      {"My Notes", "My-Notes", "my-notes"},
      {"Café_2", "Caf--_2", "caf-2"},
      {"--x", "--x", "velloc-app-x"},
      {"A", "A", "velloc-app-a"},
      {"日本", "------", "velloc-app"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DesktopFileId(c.id), c.desktopId) << c.id;
    EXPECT_EQ(DebianPackageName(c.id), c.package) << c.id;
  }
}

TEST(DesktopFiles, EntryMetainfoAndTypes) {
  TDesktopApp app{"com.example.Notes", "Notes & <Co>", "/usr/bin/com.example.notes", {}, {}};
  // Without schemes or types: no argument, no MIME lines, the default category.
  EXPECT_EQ(DesktopEntryText(app),
            "[Desktop Entry]\nType=Application\nVersion=1.4\nName=Notes & <Co>\n"
            "Exec=/usr/bin/com.example.notes\nIcon=com.example.Notes\nTerminal=false\n"
            "StartupNotify=true\nStartupWMClass=com.example.Notes\nCategories=Utility;\n");
  EXPECT_EQ(MimeInfoText(app), "");

  app.Desktop.FileTypes.push_back({"application/x-notes", {"notes", "nt"}, "Notes file"});
  EXPECT_NE(DesktopEntryText(app).find("Exec=/usr/bin/com.example.notes %f\n"), std::string::npos);
  app.Desktop.Schemes = {"notes"};
  app.Desktop.Comment = "Line\\one";
  app.Desktop.Categories = {"Office"};
  const std::string entry = DesktopEntryText(app);
  EXPECT_NE(entry.find("Exec=/usr/bin/com.example.notes %u\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Comment=Line\\\\one\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Categories=Office;\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("MimeType=x-scheme-handler/notes;application/x-notes;\n"), std::string::npos)
      << entry;

  const std::string metainfo = MetainfoText(app);
  EXPECT_NE(metainfo.find("<name>Notes &amp; &lt;Co&gt;</name>"), std::string::npos) << metainfo;
  EXPECT_NE(metainfo.find("<mediatype>x-scheme-handler/notes</mediatype>"), std::string::npos);
  const std::string mime = MimeInfoText(app);
  EXPECT_NE(mime.find("<mime-type type=\"application/x-notes\">\n    <comment>Notes file</comment>"
                      "\n    <glob pattern=\"*.notes\"/>\n    <glob pattern=\"*.nt\"/>"),
            std::string::npos)
      << mime;
}

}  // namespace
}  // namespace velloc::cli
