#include "tools/velloc/DesktopFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "core/Text.h"
#include "package/AppIcon.h"
#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

// The hicolor theme's usual sizes; a PNG goes to each size it is at least as large as.
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256, 512};

// Every package and command made from an ID lives under this name, which no distribution uses.
constexpr std::string_view kPackagePrefix = "velloc-app";

// The application with every free text as the desktop files may carry it. A name left empty
// (it held only control characters) becomes the ID's.
TDesktopApp PlainTexts(const TDesktopApp& app) {
  TDesktopApp plain = app;
  plain.Name = DesktopText(app.Name);
  if (plain.Name.empty()) plain.Name = DesktopText(app.Id);
  plain.Desktop.Comment = DesktopText(app.Desktop.Comment);
  plain.Desktop.Maintainer = DesktopText(app.Desktop.Maintainer);
  for (config::TFileType& type : plain.Desktop.FileTypes)
    type.Description = DesktopText(type.Description);
  return plain;
}

// A desktop entry's string value: its escapes for backslash and line breaks.
std::string EntryValue(std::string_view text) {
  std::string value;
  for (const char c : text) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

std::string XmlText(std::string_view text) {
  std::string xml;
  for (const char c : text) {
    switch (c) {
      case '&':
        xml += "&amp;";
        break;
      case '<':
        xml += "&lt;";
        break;
      case '>':
        xml += "&gt;";
        break;
      case '"':
        xml += "&quot;";
        break;
      default:
        xml += c;
    }
  }
  return xml;
}

// The MIME types the entry opens: its URL schemes, then its file types.
std::vector<std::string> MimeTypesOf(const config::TDesktopConfig& desktop) {
  std::vector<std::string> types;
  for (const std::string& scheme : desktop.Schemes)
    types.push_back("x-scheme-handler/" + scheme);
  for (const config::TFileType& type : desktop.FileTypes)
    types.push_back(type.MimeType);
  return types;
}

void WriteIcons(const TDesktopApp& app, const fs::path& share) {
  const std::string id = DesktopFileId(app.Id);
  const fs::path hicolor = share / "icons" / "hicolor";
  if (package::AppIconFormat(app.Icon) == package::TAppIconFormat::Svg) {
    WriteText(hicolor / "scalable" / "apps" / (id + ".svg"),
              std::string_view(reinterpret_cast<const char*>(app.Icon.data()), app.Icon.size()));
    return;
  }
  for (const TScaledIcon& image : ScaledPngIcons(app.Icon, kIconSizes)) {
    const std::string size = std::to_string(image.Size);
    WriteText(hicolor / (size + "x" + size) / "apps" / (id + ".png"),
              std::string_view(reinterpret_cast<const char*>(image.Png.data()), image.Png.size()));
  }
}

}  // namespace

std::vector<TScaledIcon> ScaledPngIcons(std::span<const std::uint8_t> png,
                                        std::span<const int> sizes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  GError* error = nullptr;
  const bool read = loader && gdk_pixbuf_loader_write(loader, png.data(), png.size(), &error) &&
                    gdk_pixbuf_loader_close(loader, &error);
  GdkPixbuf* image = read ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (!image) {
    const std::string problem = error ? error->message : "not a PNG image";
    if (error) g_error_free(error);
    if (loader) g_object_unref(loader);
    throw TCliError("cannot read the application icon: " + problem);
  }
  const int width = gdk_pixbuf_get_width(image);
  const int height = gdk_pixbuf_get_height(image);
  std::vector<TScaledIcon> icons;
  for (const int size : sizes) {
    if (size > width || size > height) continue;
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(image, size, size, GDK_INTERP_HYPER);
    gchar* buffer = nullptr;
    gsize length = 0;
    const bool saved =
        scaled && gdk_pixbuf_save_to_buffer(scaled, &buffer, &length, "png", nullptr, nullptr);
    if (scaled) g_object_unref(scaled);
    if (!saved) {
      g_object_unref(loader);
      throw TCliError("cannot scale the application icon to " + std::to_string(size) + " pixels");
    }
    icons.push_back({size,
                     {reinterpret_cast<std::uint8_t*>(buffer),
                      reinterpret_cast<std::uint8_t*>(buffer) + length}});
    g_free(buffer);
  }
  g_object_unref(loader);
  if (icons.empty()) throw TCliError("the application icon is smaller than 16 x 16 pixels");
  return icons;
}

void WriteText(const fs::path& path, std::string_view text) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw TCliError("cannot write \"" + path.string() + "\"");
}

void RequireProgram(std::string_view program, std::string_view debianPackage) {
  gchar* found = g_find_program_in_path(std::string(program).c_str());
  g_free(found);
  if (!found) {
    throw TCliError("no " + std::string(program) + " on this machine (install Debian's " +
                    std::string(debianPackage) + ")");
  }
}

std::string RunTool(const std::vector<std::string>& argv, const fs::path& folder,
                    std::string_view debianPackage) {
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  GError* error = nullptr;
  const bool ran = g_spawn_sync(folder.c_str(), args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                nullptr, &out, &err, &status, &error);
  const std::string output = out ? out : "";
  const std::string messages = err ? err : "";
  g_free(out);
  g_free(err);
  if (!ran) {
    const std::string problem = error->message;
    g_error_free(error);
    throw TCliError("cannot run " + argv[0] + ": " + problem + " (install Debian's " +
                    std::string(debianPackage) + ")");
  }
  if (!g_spawn_check_wait_status(status, nullptr))
    throw TCliError(argv[0] + " failed: " + messages);
  return output;
}

void SetPackageModes(const fs::path& root, const fs::path& program) {
  constexpr fs::perms kOpen = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
  constexpr fs::perms kReadable = fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::others_read;
  fs::permissions(root, kOpen);
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_symlink()) continue;
    fs::permissions(entry.path(),
                    entry.is_directory() || entry.path() == program ? kOpen : kReadable);
  }
}

std::string DesktopFileId(std::string_view appId) {
  std::string id;
  for (const char c : appId) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    id += plain ? c : '-';
  }
  return id;
}

std::string DesktopText(std::string_view text) {
  std::string plain;
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c = text::NextCodePoint(text, pos);  // a malformed byte gives U+FFFD
    if (text::IsControl(c)) {
      c = U' ';
    } else if (c == 0xFFFE || c == 0xFFFF) {
      c = 0xFFFD;  // not characters to XML
    }
    text::AppendUtf8(plain, c);
  }
  const std::size_t first = plain.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return plain.substr(first, plain.find_last_not_of(' ') - first + 1);
}

std::string DebianPackageName(std::string_view appId) {
  std::string name;
  for (const char c : appId) {
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    const bool plain = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') ||
                       lower == '+' || lower == '-' || lower == '.';
    if (plain) {
      name += lower;
    } else if (!name.empty() && name.back() != '-') {
      name += '-';
    }
  }
  while (!name.empty() && !((name.front() >= 'a' && name.front() <= 'z') ||
                            (name.front() >= '0' && name.front() <= '9'))) {
    name.erase(0, 1);
  }
  while (!name.empty() && name.back() == '-')
    name.pop_back();
  return std::string(kPackagePrefix) + (name.empty() ? std::string() : "-" + name);
}

std::string DesktopEntryText(const TDesktopApp& given) {
  const TDesktopApp app = PlainTexts(given);
  const config::TDesktopConfig& desktop = app.Desktop;
  std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.4\n";
  entry += "Name=" + EntryValue(app.Name) + "\n";
  if (!desktop.Comment.empty()) entry += "Comment=" + EntryValue(desktop.Comment) + "\n";
  // A link or a file opened with the application reaches it as its one argument.
  entry += "Exec=" + app.Command;
  if (!desktop.Schemes.empty()) {
    entry += " %u";
  } else if (!desktop.FileTypes.empty()) {
    entry += " %f";
  }
  entry += "\nIcon=" + DesktopFileId(app.Id) + "\nTerminal=false\nStartupNotify=true\n";
  entry += "StartupWMClass=" + EntryValue(DesktopText(app.Id)) + "\n";
  entry += "Categories=";
  if (desktop.Categories.empty()) entry += "Utility;";
  for (const std::string& category : desktop.Categories)
    entry += category + ";";
  entry += "\n";
  if (const std::vector<std::string> types = MimeTypesOf(desktop); !types.empty()) {
    entry += "MimeType=";
    for (const std::string& type : types)
      entry += type + ";";
    entry += "\n";
  }
  return entry;
}

std::string MetainfoText(const TDesktopApp& given) {
  const TDesktopApp app = PlainTexts(given);
  const std::string id = DesktopFileId(app.Id);
  const std::string summary = app.Desktop.Comment.empty() ? app.Name : app.Desktop.Comment;
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<component type=\"desktop-application\">\n";
  xml += "  <id>" + XmlText(id) + "</id>\n";
  xml += "  <metadata_license>CC0-1.0</metadata_license>\n";
  xml += "  <name>" + XmlText(app.Name) + "</name>\n";
  xml += "  <summary>" + XmlText(summary) + "</summary>\n";
  xml += "  <description>\n    <p>" + XmlText(summary) + "</p>\n  </description>\n";
  xml += "  <launchable type=\"desktop-id\">" + XmlText(id) + ".desktop</launchable>\n";
  xml += "  <content_rating type=\"oars-1.1\"/>\n";
  if (const std::vector<std::string> types = MimeTypesOf(app.Desktop); !types.empty()) {
    xml += "  <provides>\n";
    for (const std::string& type : types)
      xml += "    <mediatype>" + XmlText(type) + "</mediatype>\n";
    xml += "  </provides>\n";
  }
  xml += "</component>\n";
  return xml;
}

std::string MimeInfoText(const TDesktopApp& given) {
  if (given.Desktop.FileTypes.empty()) return {};
  const TDesktopApp app = PlainTexts(given);
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const config::TFileType& type : app.Desktop.FileTypes) {
    xml += "  <mime-type type=\"" + XmlText(type.MimeType) + "\">\n";
    if (!type.Description.empty())
      xml += "    <comment>" + XmlText(type.Description) + "</comment>\n";
    for (const std::string& extension : type.Extensions)
      xml += "    <glob pattern=\"*." + XmlText(extension) + "\"/>\n";
    xml += "  </mime-type>\n";
  }
  xml += "</mime-info>\n";
  return xml;
}

void WriteDesktopFiles(const TDesktopApp& app, const fs::path& share) {
  const std::string id = DesktopFileId(app.Id);
  WriteText(share / "applications" / (id + ".desktop"), DesktopEntryText(app));
  WriteText(share / "metainfo" / (id + ".metainfo.xml"), MetainfoText(app));
  if (const std::string mime = MimeInfoText(app); !mime.empty())
    WriteText(share / "mime" / "packages" / (id + ".xml"), mime);
  WriteIcons(app, share);
}

std::string DebianControlText(const TDesktopApp& given, std::string_view architecture,
                              std::string_view depends) {
  const TDesktopApp app = PlainTexts(given);
  const config::TDesktopConfig& desktop = app.Desktop;
  std::string control =
      "Package: " + DebianPackageName(app.Id) + "\nVersion: " + desktop.Version +
      "\nArchitecture: " + std::string(architecture) + "\nMaintainer: " +
      (desktop.Maintainer.empty() ? app.Name + " <root@localhost>" : desktop.Maintainer) +
      "\nSection: misc\nPriority: optional\n";
  if (!depends.empty()) control += "Depends: " + std::string(depends) + "\n";
  control += "Description: " + (desktop.Comment.empty() ? app.Name : desktop.Comment) + "\n " +
             app.Name + ", a web application packed with Velloc.\n";
  return control;
}

std::vector<std::string> StageInstalledFiles(const TDesktopApp& app, const fs::path& executable,
                                             const fs::path& staging) {
  const std::string package = DebianPackageName(app.Id);
  const fs::path lib = staging / "usr" / "lib" / package;
  fs::create_directories(lib);
  fs::copy_file(executable, lib / package);
  fs::create_directories(staging / "usr" / "bin");
  fs::create_symlink("../lib/" + package + "/" + package, staging / "usr" / "bin" / package);
  TDesktopApp installed = app;
  installed.Command = "/usr/bin/" + package;
  WriteDesktopFiles(installed, staging / "usr" / "share");
  SetPackageModes(staging, lib / package);
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(staging)) {
    if (!entry.is_directory() || entry.is_symlink())
      files.push_back("/" + entry.path().lexically_relative(staging).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TPrivateFolder::TPrivateFolder(const fs::path& parent, std::string_view prefix) {
  std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
  // mkdtemp makes a new folder of a new name, mode 0700, or fails; it never takes one that is
  // there already.
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw TCliError("cannot make a private folder in \"" + parent.string() +
                    "\": " + std::strerror(errno));
  }
  FPath = pattern;
}

TPrivateFolder::~TPrivateFolder() {
  std::error_code ignored;  // a folder only this run could write to: what is left harms no one
  fs::remove_all(FPath, ignored);
}

fs::path BuildDebianPackage(const TDesktopApp& app, const fs::path& executable,
                            const fs::path& runtime, const fs::path& module,
                            const fs::path& folder) {
  const std::string package = DebianPackageName(app.Id);
  const fs::path output = fs::absolute(folder);
  // Beside the output, so the finished package is renamed into place; private, so the package
  // holds nothing that another user of a shared folder put there.
  const TPrivateFolder work(output, ".velloc-deb-");
  const fs::path staging = work.Path() / "root";

  // The libraries of the runtime and of its WebKitGTK module, as this machine's packages
  // provide them. dpkg-shlibdeps wants a debian/control to stand beside, even an empty one.
  const fs::path shlibs = work.Path() / "shlibs";
  WriteText(shlibs / "debian" / "control", "");
  const std::string found = RunTool({"dpkg-shlibdeps", "-O", "-e" + fs::absolute(runtime).string(),
                                     "-e" + fs::absolute(module).string()},
                                    shlibs, "dpkg-dev");
  std::string depends;
  if (const auto at = found.find("shlibs:Depends="); at != std::string::npos) {
    depends = found.substr(at + 15);
    depends.erase(depends.find_last_not_of("\r\n") + 1);
  }
  const std::string architecture = [&] {
    std::string arch = RunTool({"dpkg", "--print-architecture"}, work.Path(), "dpkg");
    arch.erase(arch.find_last_not_of("\r\n") + 1);
    return arch;
  }();

  StageInstalledFiles(app, executable, staging);
  WriteText(staging / "DEBIAN" / "control", DebianControlText(app, architecture, depends));
  SetPackageModes(staging, staging / "usr" / "lib" / package / package);

  const fs::path built = work.Path() / "package.deb";
  RunTool({"dpkg-deb", "--root-owner-group", "--build", staging.string(), built.string()},
          work.Path(), "dpkg");
  // A rename replaces the name itself: it never writes through a link someone put there.
  const fs::path deb = output / (package + "_" + app.Desktop.Version + "_" + architecture + ".deb");
  if (std::rename(built.c_str(), deb.c_str()) != 0)
    throw TCliError("cannot write \"" + deb.string() + "\": " + std::strerror(errno));
  return deb;
}

}  // namespace velloc::cli
