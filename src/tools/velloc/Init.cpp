// velloc init: a small application that packs and runs, shows the bridge at work, and brings
// the typings of window.vlx for the author's editor.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "tools/velloc/Cli.h"

namespace velloc::embedded {
extern const std::string_view InitIndexHtml;
extern const std::string_view InitStyleCss;
extern const std::string_view InitMainJs;
extern const std::string_view InitJsConfig;
extern const std::string_view InitReadme;
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

std::string Fill(std::string_view text, std::string_view name, std::string_view id) {
  std::string out(text);
  for (const auto& [placeholder, value] :
       {std::pair{std::string_view("@NAME@"), name}, std::pair{std::string_view("@ID@"), id}}) {
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

void RunInit(const fs::path& folder, std::string_view name) {
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
  fs::create_directories(folder / "app", ec);
  if (ec) throw TCliError("cannot create \"" + (folder / "app").string() + "\": " + ec.message());
  WriteNew(folder / "app/index.html", Fill(embedded::InitIndexHtml, EscapeHtml(title), id));
  WriteNew(folder / "app/style.css", embedded::InitStyleCss);
  WriteNew(folder / "app/main.js", Fill(embedded::InitMainJs, title, id));
  WriteNew(folder / "vlx.d.ts", embedded::VlxTypings);
  WriteNew(folder / "jsconfig.json", embedded::InitJsConfig);
  WriteNew(folder / "README.md", Fill(embedded::InitReadme, title, id));
  // Last, so a failed init can be run again.
  WriteNew(iniPath,
           "[App]\nID=" + id + "\nName=" + title + "\nDirName=app\nIndexHtml=index.html\n");
  std::printf("Created \"%s\" (ID=%s); pack it with: velloc pack \"%s\"\n", folder.c_str(),
              id.c_str(), folder.c_str());
}

}  // namespace velloc::cli
