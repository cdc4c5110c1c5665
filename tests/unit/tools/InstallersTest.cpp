// What the RPM and Windows Installer builders write, without running rpmbuild or wixl: versions,
// escapes, names, the spec file, the WiX source, the icon and the RPM dependencies of real ELF
// files, the latter checked against RPM's own generator where Debian's rpm provides it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include "startup/DesktopRegistration.h"
#include "tools/velloc/Cli.h"
#include "tools/velloc/ElfNeeds.h"
#include "tools/velloc/RpmPackage.h"
#include "tools/velloc/WindowsInstaller.h"

namespace velloc::embedded {
extern const std::string_view VellocIconPng;
}  // namespace velloc::embedded

namespace velloc::cli {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  std::array<char, 4096> buffer{};
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    out.append(buffer.data(), n);
  pclose(pipe);
  return out;
}

TDesktopApp NotesApp() {
  TDesktopApp app{"com.example.Notes", "Notes", "velloc-app-com.example.notes", {}, {}};
  app.Desktop.Schemes = {"notes"};
  app.Desktop.FileTypes = {{"application/x-notes", {"notes", "nt"}, "Notes file"},
                           {"text/markdown", {"md"}, ""}};
  app.Desktop.Version = "1.2.3";
  return app;
}

TEST(Installers, Versions) {
  const struct {
    const char* debian;
    const char* rpmVersion;
    const char* rpmRelease;
    const char* msi;  // nullptr: not a Windows Installer version
  } cases[] = {
      {"1.0", "1.0", "1", "1.0.0"},
      {"1.2.3", "1.2.3", "1", "1.2.3"},
      {"1.2.3-4", "1.2.3", "4", "1.2.3"},
      {"2.0~beta1", "2.0~beta1", "1", "2.0.0"},  // a pre-release shares its release's MSI version
      {"1.2.3.4", "1.2.3.4", "1", "1.2.3"},      // Windows Installer compares three numbers
      {"1.2-rc-2", "1.2_rc", "2", "1.2.0"},      // the last "-" starts the revision
      {"1.0-", "1.0", "1", "1.0.0"},
      {"7+git20240101", "7+git20240101", "1", "7.0.0"},
      {"255.255.65535", "255.255.65535", "1", "255.255.65535"},
      {"256.0", "256.0", "1", nullptr},
      {"1.256", "1.256", "1", nullptr},
      {"1.2.65536", "1.2.65536", "1", nullptr},
      {"99999999999999999999", "99999999999999999999", "1", nullptr},
      {"1..2", "1..2", "1", "1.0.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.debian);
    const TRpmVersion rpm = RpmVersion(c.debian);
    EXPECT_EQ(rpm.Version, c.rpmVersion);
    EXPECT_EQ(rpm.Release, c.rpmRelease);
    const auto msi = MsiProductVersion(c.debian);
    EXPECT_EQ(msi.has_value(), c.msi != nullptr);
    if (msi && c.msi) {
      EXPECT_EQ(*msi, c.msi);
    }
  }
}

TEST(Installers, Escapes) {
  const struct {
    const char* text;
    const char* spec;       // a spec file's line
    const char* formatted;  // a formatted MSI column
    const char* wix;        // an attribute of the WiX source
  } cases[] = {
      {"Notes", "Notes", "Notes", "Notes"},
      {"100% %{_bindir} %(rm -rf /)", "100%% %%{_bindir} %%(rm -rf /)",
       "100% %[\\{]_bindir[\\}] %(rm -rf /)", "100% %{_bindir} %(rm -rf /)"},
      {"[ProductName] {x}", "[ProductName] {x}", "[\\[]ProductName[\\]] [\\{]x[\\}]",
       "[ProductName] {x}"},
      {"a & <b> \"c\" 'd'", "a & <b> \"c\" 'd'", "a & <b> \"c\" 'd'",
       "a &amp; &lt;b&gt; &quot;c&quot; &apos;d&apos;"},
      // wixl's preprocessor: n "$" are written as n + 1, and "$(" cannot be written.
      {"$5 $$ a$", "$5 $$ a$", "$5 $$ a$", "$$5 $$$ a$$"},
      {"$(env.HOME) $$(x)", "$(env.HOME) $$(x)", "$(env.HOME) $$(x)", "$$ (env.HOME) $$$ (x)"},
      {"Two\nlines", "Two lines", "Two\nlines", "Two\nlines"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RpmSpecText(c.text), c.spec);
    EXPECT_EQ(MsiFormattedText(c.text), c.formatted);
    EXPECT_EQ(WixText(c.text), c.wix);
  }
}

TEST(Installers, WindowsNames) {
  const struct {
    const char* text;
    const char* stored;  // Windows1252Text
    const char* file;    // WindowsFileName
  } cases[] = {
      {"Notes", "Notes", "Notes"},
      {"Jos\xc3\xa9 \xe2\x82\xac", "Jos\xc3\xa9 \xe2\x82\xac", "Jos\xc3\xa9 \xe2\x82\xac"},
      {"\xe4\xb8\xad\xe6\x96\x87 Notes", "__ Notes", "__ Notes"},  // beyond Windows-1252
      {"\xf0\x9f\x98\x80", "_", "_"},
      {"a/b\\c:d*e?f\"g<h>i|j", "a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
      {"  Notes. . ", "Notes. .", "Notes"},
      {"Tab\there\x01", "Tab here", "Tab here"},
      {"CON", "CON", "CON_"},
      {"nul.txt", "nul.txt", "nul_.txt"},
      {"com1", "com1", "com1_"},
      {"COM10", "COM10", "COM10"},
      {"...", "...", ""},
      {"", "", ""},
      {"\xff broken", "_ broken", "_ broken"},  // U+FFFD is beyond Windows-1252 too
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Windows1252Text(c.text), c.stored);
    EXPECT_EQ(WindowsFileName(c.text), c.file);
  }
  EXPECT_EQ(WindowsFileName(std::string(100, 'x')), std::string(64, 'x'));
  EXPECT_EQ(WindowsFileName(std::string(63, 'x') + " y"), std::string(63, 'x'));
}

TEST(Installers, NameBasedGuidsAreRfc4122Version5) {
  // As Python's uuid.uuid5 gives them in Velloc's namespace.
  EXPECT_EQ(NameBasedGuid("upgrade\ncom.example.Notes"), "B2A2A19A-F96B-5803-9C5D-824F3A05B501");
  EXPECT_EQ(NameBasedGuid(""), "C960A365-8C99-563A-B698-DFEB187B8CEE");
  EXPECT_EQ(NameBasedGuid("Jos\xc3\xa9"), "C5C606D1-92D1-5546-9966-028BD944E015");
}

// The WiX source is XML that libxml2 reads; its registry values are the runtime's registration
// with the installed executable in place of its path; the extensions' programs are conditional.
TEST(Installers, WixSource) {
  TDesktopApp app = NotesApp();
  app.Name = "Notes [beta] & $(x) \xe4\xb8\xad";
  app.Desktop.Maintainer = "Jane Doe <jane@example.com>";
  const TWixSource source = WixSourceText(app, "1.2.3", true);
  xmlDocPtr document =
      xmlReadMemory(source.Text.data(), static_cast<int>(source.Text.size()), "app.wxs", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  ASSERT_NE(document, nullptr) << source.Text;
  // Every RegistryValue by component, as "key|name|value".
  std::map<std::string, std::set<std::string>> values;
  std::map<std::string, std::string> attributes;  // element/attribute of the single elements
  std::vector<std::pair<xmlNodePtr, std::string>> stack{{xmlDocGetRootElement(document), ""}};
  const auto attribute = [](xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "(none)";
    xmlFree(value);
    return text;
  };
  while (!stack.empty()) {
    auto [node, component] = stack.back();
    stack.pop_back();
    const std::string element = reinterpret_cast<const char*>(node->name);
    if (element == "Component") component = attribute(node, "Id");
    if (element == "RegistryValue") {
      values[component].insert(attribute(node, "Key") + "|" + attribute(node, "Name") + "|" +
                               attribute(node, "Value") +
                               (attribute(node, "KeyPath") == "yes" ? "|key" : ""));
    }
    for (const char* name : {"Name", "Version", "Manufacturer", "UpgradeCode", "Target"})
      attributes[element + "/" + name] = attribute(node, name);
    for (xmlNodePtr child = node->children; child; child = child->next) {
      if (child->type == XML_ELEMENT_NODE) stack.emplace_back(child, component);
    }
  }
  xmlFreeDoc(document);

  EXPECT_EQ(attributes["Product/Name"], "Notes [beta] & $$ (x) _");  // wixl makes it "$ (x)"
  EXPECT_EQ(attributes["Product/Manufacturer"], "Jane Doe");
  EXPECT_EQ(attributes["Product/Version"], "1.2.3");
  EXPECT_EQ(attributes["Product/UpgradeCode"], NameBasedGuid("upgrade\ncom.example.Notes"));
  EXPECT_EQ(attributes["File/Name"], "Notes [beta] & $$ (x) _.exe");
  EXPECT_EQ(attributes["Shortcut/Target"], "[#AppExe]");

  const std::string name = "Notes [\\[]beta[\\]] & $$ (x) _";
  std::set<std::string> expected = {std::string(startup::kInstalledExecutablesKey) +
                                    "|[#AppExe]|[ProductCode]|key"};
  for (const startup::TClassValue& value :
       startup::DesktopClassValues(app.Desktop, app.Id, "N", "E")) {
    if (value.KeepExisting) continue;
    std::string data = value.Data;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"\"E\"", "\"[#AppExe]\""},
                                   {"URL:N", "URL:" + name}}) {
      if (data.find(from) != std::string::npos) data.replace(data.find(from), from.size(), to);
    }
    if (data == "N file") data = name + " file";
    expected.insert(value.Key + "|" + (value.Name.empty() ? "(none)" : value.Name) + "|" + data);
  }
  EXPECT_EQ(values["Application"], expected);
  EXPECT_EQ(values["ProgramsFolder"],
            std::set<std::string>{std::string(startup::kInstalledExecutablesKey) +
                                  "|[ProductCode]|[UserPrograms]|key"});
  EXPECT_EQ(
      values["Extension0"],
      (std::set<std::string>{"Software\\Classes\\.notes|(none)|com.example.Notes.file.notes|key",
                             "Software\\Classes\\.notes|Content Type|application/x-notes"}));
  EXPECT_EQ(values["Extension2"],
            (std::set<std::string>{"Software\\Classes\\.md|(none)|com.example.Notes.file.md|key",
                                   "Software\\Classes\\.md|Content Type|text/markdown"}));
  const std::vector<std::pair<std::string, std::string>> conditions = {
      {"Extension0", "NOT VLXEXTENSION0 OR VLXEXTENSION0 = \"com.example.Notes.file.notes\""},
      {"Extension1", "NOT VLXEXTENSION1 OR VLXEXTENSION1 = \"com.example.Notes.file.nt\""},
      {"Extension2", "NOT VLXEXTENSION2 OR VLXEXTENSION2 = \"com.example.Notes.file.md\""}};
  EXPECT_EQ(source.ComponentConditions, conditions);

  // Without an icon there is no icon to name; without schemes and types, no classes.
  TDesktopApp plain = NotesApp();
  plain.Desktop = {};
  const TWixSource bare = WixSourceText(plain, "1.0.0", false);
  EXPECT_EQ(bare.Text.find("Icon"), std::string::npos);
  EXPECT_EQ(bare.Text.find("Software\\Classes"), std::string::npos);
  EXPECT_TRUE(bare.ComponentConditions.empty());
}

TEST(Installers, WindowsIconHoldsThePngSizes) {
  const std::string_view png = embedded::VellocIconPng;  // 128 x 128
  const std::vector<std::uint8_t> velloc(png.begin(), png.end());
  const std::vector<std::uint8_t> ico = WindowsIconFile(velloc);
  const int sizes[] = {16, 32, 48, 64, 128};
  ASSERT_GE(ico.size(), 6u + 5 * 16);
  EXPECT_EQ(std::vector<std::uint8_t>(ico.begin(), ico.begin() + 6),
            (std::vector<std::uint8_t>{0, 0, 1, 0, 5, 0}));
  for (int i = 0; i < 5; ++i) {
    const std::uint8_t* entry = ico.data() + 6 + 16 * i;
    EXPECT_EQ(entry[0], sizes[i]);
    EXPECT_EQ(entry[1], sizes[i]);
    const std::uint32_t length = entry[8] | entry[9] << 8 | entry[10] << 16 | entry[11] << 24;
    const std::uint32_t offset = entry[12] | entry[13] << 8 | entry[14] << 16 | entry[15] << 24;
    ASSERT_LE(offset + length, ico.size());
    EXPECT_EQ(ico[offset + 1], 'P') << "a PNG image";
  }
  const std::vector<std::uint8_t> notPng = {'<', 's', 'v', 'g'};
  EXPECT_THROW(WindowsIconFile(notPng), TCliError);
}

TEST(Installers, RpmRequiresMapping) {
  TElfNeeds program;
  program.Needed = {"libgtk-3.so.0", "libc.so.6"};
  program.Versions = {{"libc.so.6", "GLIBC_2.34"},
                      {"libc.so.6", "GLIBC_PRIVATE"},
                      {"libstdc++.so.6", "GLIBCXX_3.4.29"}};
  program.GnuHashOnly = true;
  TElfNeeds module;
  module.Needed = {"libwebkit2gtk-4.1.so.0", "libc.so.6"};
  EXPECT_EQ(
      RpmRequires({program, module}),
      (std::vector<std::string>{"libc.so.6()(64bit)", "libc.so.6(GLIBC_2.34)(64bit)",
                                "libgtk-3.so.0()(64bit)", "libstdc++.so.6(GLIBCXX_3.4.29)(64bit)",
                                "libwebkit2gtk-4.1.so.0()(64bit)", "rtld(GNU_HASH)"}));
  // A 32-bit image's libraries carry no marker, and no "()" without a version.
  TElfNeeds old;
  old.Elf64 = false;
  old.Needed = {"libc.so.6"};
  old.Versions = {{"libc.so.6", "GLIBC_2.0"}};
  EXPECT_EQ(RpmRequires({old}), (std::vector<std::string>{"libc.so.6", "libc.so.6(GLIBC_2.0)"}));

  const struct {
    std::uint16_t machine;
    bool elf64, bigEndian;
    const char* arch;
  } arches[] = {{62, true, false, "x86_64"}, {183, true, false, "aarch64"},
                {3, false, false, "i686"},   {21, true, false, "ppc64le"},
                {22, true, true, "s390x"},   {21, true, true, nullptr},
                {62, false, false, nullptr}, {9999, true, false, nullptr}};
  for (const auto& a : arches) {
    TElfNeeds image;
    image.Machine = a.machine;
    image.Elf64 = a.elf64;
    image.BigEndian = a.bigEndian;
    if (a.arch) {
      EXPECT_EQ(RpmArchitecture(image), a.arch);
    } else {
      EXPECT_THROW(RpmArchitecture(image), TCliError) << a.machine;
    }
  }
}

// The runtime and its module as this build made them, and a system program, read as RPM's own
// generator reads them (elfdeps, from Debian's rpm, without glibc's private version).
TEST(Installers, ElfNeedsOfRealFilesAsRpmReadsThem) {
  const fs::path bin = fs::path(VELLOC_CLI_PATH).parent_path();
  std::vector<fs::path> files = {"/bin/true", bin / "velloc-runtime", bin / "velloc"};
  for (const fs::directory_entry& entry : fs::directory_iterator(bin)) {
    if (entry.path().filename().string().starts_with("velloc-webkit-") &&
        entry.path().extension() == ".so") {
      files.push_back(entry);
    }
  }
  const bool elfdeps = fs::exists("/usr/lib/rpm/elfdeps");
  for (const fs::path& file : files) {
    if (!fs::exists(file)) continue;
    SCOPED_TRACE(file.string());
    const TElfNeeds needs = ReadElfNeeds(ReadBytes(file));
    EXPECT_EQ(RpmArchitecture(needs) + "\n", Output("uname -m"));
    EXPECT_FALSE(needs.Needed.empty());
    if (!elfdeps) continue;
    // elfdeps states needs only for executable files: a copy with the mode.
    const fs::path copy =
        fs::temp_directory_path() / ("velloc-elfneeds-" + file.filename().string());
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all);
    std::istringstream lines(
        Output("echo '" + copy.string() + "' | /usr/lib/rpm/elfdeps --requires"));
    fs::remove(copy);
    std::set<std::string> theirs;
    for (std::string line; std::getline(lines, line);) {
      if (line.find("GLIBC_PRIVATE") == std::string::npos) theirs.insert(line);
    }
    const std::vector<std::string> ours = RpmRequires({needs});
    EXPECT_EQ(std::set<std::string>(ours.begin(), ours.end()), theirs);
  }
}

// Whatever bytes come, the reader answers or refuses; it never reads outside them.
TEST(Installers, ElfNeedsRefusesBrokenImages) {
  const std::vector<std::uint8_t> image = ReadBytes("/bin/true");
  ASSERT_GT(image.size(), 4096u);
  for (const std::size_t length : {std::size_t{0}, std::size_t{4}, std::size_t{51}, std::size_t{64},
                                   std::size_t{1000}, image.size() / 2, image.size() - 1}) {
    const std::vector<std::uint8_t> cut(image.begin(),
                                        image.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_THROW(ReadElfNeeds(cut), TCliError) << length;
  }
  // A string table index past its table, a section table past the end of the file.
  std::vector<std::uint8_t> broken = image;
  for (std::size_t at = 40; at < 48; ++at)
    broken[at] = 0xff;  // e_shoff
  EXPECT_THROW(ReadElfNeeds(broken), TCliError);
  const std::vector<std::uint8_t> text = {'#', '!', '/', 'b', 'i', 'n'};
  EXPECT_THROW(ReadElfNeeds(text), TCliError);
}

TEST(Installers, RpmSpecFile) {
  TDesktopApp app = NotesApp();
  app.Name = "Notes %{_bindir}";
  app.Desktop.Comment = "100% offline\nRequires: evil";
  app.Desktop.Maintainer = "Jane <j@example.com>";
  const std::string spec = RpmSpecFileText(app, {"1.2.3", "4"}, {"libc.so.6()(64bit)"},
                                           {"/usr/bin/velloc-app-com.example.notes"});
  for (const char* line :
       {"\nName: velloc-app-com.example.notes\n", "\nVersion: 1.2.3\n", "\nRelease: 4\n",
        "\nSummary: 100%% offline Requires: evil\n", "\nPackager: Jane <j@example.com>\n",
        "\nAutoReqProv: no\n", "\nRequires: libc.so.6()(64bit)\n",
        "\n%description\nNotes %%{_bindir}, a web application packed with Velloc.\n",
        "\n%global __spec_install_post %{nil}\n",
        "\n%files\n%defattr(-,root,root,-)\n%dir /usr/lib/velloc-app-com.example.notes\n"
        "/usr/bin/velloc-app-com.example.notes\n"}) {
    EXPECT_NE(spec.find(line), std::string::npos) << line << "\n---\n" << spec;
  }
  EXPECT_EQ(spec.find("\nRequires: evil"), std::string::npos) << spec;
}

}  // namespace
}  // namespace velloc::cli
