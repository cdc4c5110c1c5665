// velloc init: the smallest application that packs and runs.
#include <cstdio>
#include <fstream>
#include <system_error>

#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace fs = std::filesystem;

void RunInit(const fs::path& folder, std::string_view name) {
  const fs::path iniPath = folder / "vlx.ini";
  if (fs::exists(iniPath))
    throw TCliError("\"" + iniPath.string() + "\" exists already; nothing was changed");
  std::string id;
  const std::string base = fs::absolute(folder).lexically_normal().filename().string();
  for (const char c : base.empty() ? std::string("app") : base) {
    id +=
        (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '-';
  }
  const std::string title = name.empty() ? base : std::string(name);
  std::error_code ec;
  fs::create_directories(folder / "app", ec);
  if (ec) throw TCliError("cannot create \"" + (folder / "app").string() + "\": " + ec.message());
  std::ofstream ini(iniPath, std::ios::binary);
  ini << "[App]\nID=" << id << "\nName=" << title << "\nDirName=app\nIndexHtml=index.html\n";
  const fs::path indexPath = folder / "app" / "index.html";
  if (!fs::exists(indexPath)) {
    std::ofstream index(indexPath, std::ios::binary);
    index << "<!doctype html>\n<html>\n<head>\n  <meta charset=\"utf-8\">\n  <title>" << title
          << "</title>\n</head>\n<body>\n  <h1>" << title
          << "</h1>\n  <p id=\"runtime\"></p>\n  <script>\n"
             "    vlx.hello().then(v => { document.getElementById('runtime').textContent = 'Velloc "
             "' + v; });\n"
             "  </script>\n</body>\n</html>\n";
  }
  if (!ini) throw TCliError("cannot write \"" + iniPath.string() + "\"");
  std::printf("Created \"%s\" (ID=%s); pack it with: velloc pack %s\n", folder.c_str(), id.c_str(),
              folder.c_str());
}

}  // namespace velloc::cli
