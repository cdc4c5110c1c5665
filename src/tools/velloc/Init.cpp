// velloc init: a small application that packs and runs, shows the bridge at work, and brings
// the typings of window.vlx for the author's editor. The plain template is pages that pack as
// they are; the Vite templates build with Vite, whose development server the application's
// window shows while the author works (`npm run dev`, `velloc run --url`).
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "tools/velloc/Cli.h"
#include "tools/velloc/Templates.h"

namespace velloc::embedded {
extern const std::string_view VlxTypings;
}  // namespace velloc::embedded

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

std::string EscapeHtml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A template's files: its own folders below templates/, the later one winning, and files it
// takes from another template.
struct TTemplate {
  std::string_view Name;
  std::array<std::string_view, 2> Folders;
  std::string_view StyleSheet;  // where the plain template's style sheet goes; empty: nowhere
  bool Npm;                     // built with npm rather than packed as it is
};

constexpr TTemplate kTemplates[] = {
    {"plain", {"plain", ""}, "", false},
    {"vite", {"vite-common", "vite"}, "src/style.css", true},
    {"vite-react", {"vite-common", "vite-react"}, "src/style.css", true},
};

const TTemplate& FindTemplate(std::string_view name) {
  std::string names;
  for (const TTemplate& known : kTemplates) {
    if (known.Name == name) return known;
    names += (names.empty() ? "" : ", ") + std::string(known.Name);
  }
  throw TCliError("no template \"" + std::string(name) + "\"; the templates are " + names);
}

// The npm package name for an application ID: lower case, not beginning with "." or "_".
std::string PackageName(std::string_view id) {
  std::string name;
  for (const char c : id) {
    if (name.empty() && (c == '.' || c == '_')) continue;
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return name.empty() ? "app" : name;
}

std::string Fill(std::string_view text, std::string_view name, std::string_view id) {
  std::string out(text);
  const std::string package = PackageName(id);
  for (const auto& [placeholder, value] :
       {std::pair{std::string_view("@NAME@"), name}, std::pair{std::string_view("@ID@"), id},
        std::pair{std::string_view("@PACKAGE@"), std::string_view(package)}}) {
    for (std::size_t at = out.find(placeholder); at != std::string::npos;
         at = out.find(placeholder, at + value.size())) {
      out.replace(at, placeholder.size(), value);
    }
  }
  return out;
}

// Writes a file unless one is there already: init never overwrites an author's work.
void WriteNew(const fs::path& path, std::string_view text) {
  if (fs::exists(path)) return;
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw TCliError("cannot write \"" + path.string() + "\"");
}

}  // namespace

void RunInit(const fs::path& folder, std::string_view name, std::string_view templateName) {
  const TTemplate& chosen = FindTemplate(templateName.empty() ? "plain" : templateName);
  const fs::path iniPath = folder / "vlx.ini";
  if (fs::exists(iniPath))
    throw TCliError("\"" + iniPath.string() + "\" exists already; nothing was changed");
  std::string id;
  // "." and "dir/" name their folder too.
  fs::path absolute = fs::absolute(folder).lexically_normal();
  if (absolute.filename().empty()) absolute = absolute.parent_path();
  std::string base = absolute.filename().string();
  if (base.empty()) base = "app";
  for (const char c : base) {
    id +=
        (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '-';
  }
  const std::string title = name.empty() ? base : std::string(name);
  if (title.find_first_of("\r\n") != std::string::npos)
    throw TCliError("the name must be one line");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw TCliError("cannot create \"" + folder.string() + "\": " + ec.message());
  const auto write = [&](std::string_view path, std::string_view text) {
    // npm leaves out files named .gitignore when it publishes; so do we, in the sources.
    const std::string target = path == "gitignore" ? ".gitignore" : std::string(path);
    fs::create_directories((folder / target).parent_path(), ec);
    if (ec) throw TCliError("cannot create \"" + (folder / target).parent_path().string() + "\"");
    const bool html = target.ends_with(".html");
    WriteNew(folder / target, Fill(text, html ? EscapeHtml(title) : title, id));
  };
  for (const std::string_view templateFolder : chosen.Folders) {
    if (templateFolder.empty()) continue;
    for (const TTemplateFile& file : TemplateFolder(templateFolder))
      write(file.Path, file.Text);
  }
  if (!chosen.StyleSheet.empty()) {
    for (const TTemplateFile& file : TemplateFolder("plain")) {
      if (file.Path == "app/style.css") write(chosen.StyleSheet, file.Text);
    }
  }
  WriteNew(folder / "vlx.d.ts", embedded::VlxTypings);
  // Last, so a failed init can be run again.
  WriteNew(iniPath,
           "[App]\nID=" + id + "\nName=" + title + "\nDirName=app\nIndexHtml=index.html\n");
  if (chosen.Npm) {
    std::printf("Created \"%s\" (ID=%s); in it, run: npm install, then npm run dev\n",
                folder.c_str(), id.c_str());
  } else {
    std::printf("Created \"%s\" (ID=%s); pack it with: velloc pack \"%s\"\n", folder.c_str(),
                id.c_str(), folder.c_str());
  }
}

}  // namespace velloc::cli
