#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <sys/stat.h>

#include <glib.h>

#include "core/Text.h"
#include "tools/velloc/Cli.h"
#include "tools/velloc/DesktopFiles.h"

namespace velloc::cli {
namespace {

namespace fs = std::filesystem;

TEST(DesktopFiles, NamesFromTheId) {
  const struct {
    const char* id;
    const char* desktopId;
    const char* package;
  } cases[] = {
      {"com.example.Notes", "com.example.Notes", "velloc-app-com.example.notes"},
      {"My Notes", "My-Notes", "velloc-app-my-notes"},
      {"Café_2", "Caf--_2", "velloc-app-caf-2"},
      {"--x", "--x", "velloc-app-x"},
      {"A", "A", "velloc-app-a"},
      {"日本", "------", "velloc-app"},
      // Names of the system's own packages and commands stay inside Velloc's namespace.
      {"sudo", "sudo", "velloc-app-sudo"},
      {"SUDO", "SUDO", "velloc-app-sudo"},
      {"bash", "bash", "velloc-app-bash"},
      {"dpkg", "dpkg", "velloc-app-dpkg"},
      {"libc6", "libc6", "velloc-app-libc6"},
      {"python3.11", "python3.11", "velloc-app-python3.11"},
      {"x-terminal-emulator", "x-terminal-emulator", "velloc-app-x-terminal-emulator"},
      {"io.elementary.files", "io.elementary.files", "velloc-app-io.elementary.files"},
      {"velloc", "velloc", "velloc-app-velloc"},
      {"velloc-app", "velloc-app", "velloc-app-velloc-app"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DesktopFileId(c.id), c.desktopId) << c.id;
    EXPECT_EQ(DebianPackageName(c.id), c.package) << c.id;
  }
}

// A well-formed XML document by libxml2's reading, which refuses what XML forbids (control
// characters, malformed UTF-8); the text of its `element`s in `texts`.
bool ParsesAsXml(const std::string& xml, const char* element, std::vector<std::string>& texts) {
  xmlDocPtr document = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "test.xml", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (document == nullptr) return false;
  std::vector<xmlNodePtr> stack{xmlDocGetRootElement(document)};
  while (!stack.empty()) {
    xmlNodePtr node = stack.back();
    stack.pop_back();
    for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next)
      stack.push_back(child);
    if (node && node->type == XML_ELEMENT_NODE &&
        std::string_view(reinterpret_cast<const char*>(node->name)) == element) {
      xmlChar* content = xmlNodeGetContent(node);
      texts.emplace_back(reinterpret_cast<const char*>(content));
      xmlFree(content);
    }
  }
  xmlFreeDoc(document);
  return true;
}

// Control characters, malformed UTF-8 and what XML forbids in every free text reach none of the
// files: the desktop entry reads back with GLib's key file parser, the XML files parse, and the
// control file keeps its fields (a line break in the name could otherwise add one).
TEST(DesktopFiles, ControlCharactersNeverReachTheFiles) {
  const struct {
    std::string_view name;
    std::string_view shown;  // what every file carries instead
  } cases[] = {
      {"Bad\x01Name", "Bad Name"},
      {"Two\nLines\nDepends: evil", "Two Lines Depends: evil"},
      {"Tab\tand\rreturn", "Tab and return"},
      {"\x1b[31mred\x07", "[31mred"},
      {"Next\xc2\x85line\x7f", "Next line"},                             // C1 control, DEL
      {"Broken\xff\xfe UTF-8", "Broken\xef\xbf\xbd\xef\xbf\xbd UTF-8"},  // each byte U+FFFD
      {"Non\xef\xbf\xbe character", "Non\xef\xbf\xbd character"},        // U+FFFE
      {"\x01\x02", "com.example.Notes"},                                 // nothing left: the ID
      {"Notes & <Co> \"x\"", "Notes & <Co> \"x\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.name)));
    const std::string name(c.name);
    TDesktopApp app{"com.example.Notes", name, "/usr/bin/velloc-app-com.example.notes", {}, {}};
    app.Desktop.Maintainer = name + " <a@example.com>";
    app.Desktop.FileTypes.push_back({"application/x-notes", {"notes"}, name});

    const std::string entry = DesktopEntryText(app);
    ASSERT_TRUE(g_utf8_validate(entry.data(), static_cast<gssize>(entry.size()), nullptr));
    for (const char ch : entry)
      EXPECT_TRUE(ch == '\n' || static_cast<unsigned char>(ch) >= 0x20) << entry;
    GKeyFile* keys = g_key_file_new();
    ASSERT_TRUE(
        g_key_file_load_from_data(keys, entry.data(), entry.size(), G_KEY_FILE_NONE, nullptr));
    gchar* read = g_key_file_get_string(keys, "Desktop Entry", "Name", nullptr);
    EXPECT_EQ(std::string(read ? read : ""), c.shown);
    g_free(read);
    g_key_file_free(keys);

    std::vector<std::string> names, comments;
    ASSERT_TRUE(ParsesAsXml(MetainfoText(app), "name", names)) << MetainfoText(app);
    EXPECT_EQ(names, std::vector<std::string>{std::string(c.shown)});
    ASSERT_TRUE(ParsesAsXml(MimeInfoText(app), "comment", comments)) << MimeInfoText(app);
    // A description left empty is left out: the desktop names the type itself.
    const bool nothingLeft = c.shown == app.Id;
    EXPECT_EQ(comments, nothingLeft ? std::vector<std::string>{}
                                    : std::vector<std::string>{std::string(c.shown)});

    const std::string control = DebianControlText(app, "amd64", "libc6 (>= 2.34)");
    std::set<std::string> fields;
    std::size_t start = 0;
    while (start < control.size()) {
      const std::size_t end = control.find('\n', start);
      ASSERT_NE(end, std::string::npos) << control;
      const std::string line = control.substr(start, end - start);
      start = end + 1;
      ASSERT_FALSE(line.empty()) << control;
      for (const char ch : line)
        EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << control;
      if (line.front() != ' ') fields.insert(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(fields, (std::set<std::string>{"Package", "Version", "Architecture", "Maintainer",
                                             "Section", "Priority", "Depends", "Description"}));
    EXPECT_NE(control.find("\nDescription: " + std::string(c.shown) + "\n"), std::string::npos)
        << control;
  }
}

// The staging folder of `velloc pack --deb`: new for the run, private, never a folder that was
// there before (another user of a shared folder could have planted one), gone afterwards.
TEST(DesktopFiles, PrivateStagingFolder) {
  const fs::path shared =
      fs::temp_directory_path() / ("velloc-private-test-" + std::to_string(::getpid()));
  fs::remove_all(shared);
  fs::create_directories(shared);
  // What an earlier packer used as its staging folder, planted with a file for root's cron.
  const fs::path planted = shared / ".velloc-deb-velloc-app-x";
  fs::create_directories(planted / "root" / "etc" / "cron.d");
  std::ofstream(planted / "root" / "etc" / "cron.d" / "job") << "* * * * * root sh\n";

  fs::path made;
  {
    const mode_t old = ::umask(0);  // a lax umask changes nothing
    const TPrivateFolder folder(shared, ".velloc-deb-");
    ::umask(old);
    made = folder.Path();
    EXPECT_EQ(made.parent_path(), shared);
    EXPECT_TRUE(made.filename().string().starts_with(".velloc-deb-"));
    EXPECT_NE(made, planted);
    struct stat info {};
    ASSERT_EQ(::lstat(made.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    EXPECT_TRUE(fs::is_empty(made));
    fs::create_directories(made / "root" / "usr");
    std::ofstream(made / "root" / "usr" / "file") << "x";
  }
  EXPECT_FALSE(fs::exists(made)) << "removed with what it held";
  EXPECT_TRUE(fs::exists(planted / "root" / "etc" / "cron.d" / "job")) << "another's folder";

  // It cannot be made: no such parent, or the parent is a file.
  std::ofstream(shared / "file") << "x";
  for (const fs::path& parent : {shared / "missing", shared / "file"}) {
    try {
      const TPrivateFolder folder(parent, ".velloc-deb-");
      ADD_FAILURE() << "made in " << parent;
    } catch (const TCliError& error) {
      EXPECT_NE(std::string(error.what()).find(parent.string()), std::string::npos) << error.what();
    }
  }
  fs::remove_all(shared);
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
