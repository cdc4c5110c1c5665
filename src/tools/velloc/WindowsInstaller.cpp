#include "tools/velloc/WindowsInstaller.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <glib.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "config/AppKeys.h"
#include "core/Text.h"
#include "package/AppIcon.h"
#include "package/ExeUtils.h"
#include "platform/MappedFile.h"
#include "startup/DesktopRegistration.h"
#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

// The namespace of Velloc's name-based GUIDs; never change it, or every installed application
// stops being the same product to Windows Installer.
constexpr std::array<std::uint8_t, 16> kGuidNamespace = {
    0xec, 0x9e, 0xd2, 0x03, 0x5c, 0xba, 0x40, 0xa8, 0x80, 0xff, 0x59, 0x76, 0x46, 0x51, 0x38, 0xb8};

// Stands for the installed executable's path in the registry values until they are escaped;
// a control character, so no text of the application holds it (DesktopText removes them).
constexpr char kExePlaceholder = '\x01';

// The Upgrade table's attributes (msidbUpgradeAttributes...).
constexpr int kMigrateFeatures = 1;
constexpr int kMaxInclusive = 0x200;

std::string UpgradeCode(const std::string& appId) {
  return NameBasedGuid("upgrade\n" + appId);
}

bool InWindows1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
  for (int byte = 0x80; byte < 0xA0; ++byte) {
    const std::string utf8 = text::Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
    std::size_t pos = 0;
    if (text::NextCodePoint(utf8, pos) == c) return true;
  }
  return false;
}

bool IsDeviceName(std::string base) {
  for (char& c : base)
    c = text::AsciiUpper(c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

std::string Attribute(std::string_view name, std::string_view value) {
  return " " + std::string(name) + "=\"" + WixText(value) + "\"";
}

std::string RegistryValue(const startup::TClassValue& value, bool keyPath) {
  std::string data = MsiFormattedText(value.Data);
  text::ReplaceAll(data, std::string(1, kExePlaceholder), "[#AppExe]");
  std::string xml = "        <RegistryValue Root=\"HKCU\"" +
                    Attribute("Key", MsiFormattedText(value.Key)) +
                    (value.Name.empty() ? "" : Attribute("Name", MsiFormattedText(value.Name))) +
                    " Type=\"string\"" + Attribute("Value", data);
  return xml + (keyPath ? " KeyPath=\"yes\"/>\n" : "/>\n");
}

}  // namespace

std::string Windows1252Text(std::string_view text) {
  const std::string plain = DesktopText(text);
  std::string out;
  for (std::size_t pos = 0; pos < plain.size();) {
    const char32_t c = text::NextCodePoint(plain, pos);
    text::AppendUtf8(out, InWindows1252(c) ? c : U'_');
  }
  return out;
}

std::string WindowsFileName(std::string_view text) {
  const std::string plain = Windows1252Text(text);
  std::string name;
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < plain.size() && characters < 64; ++characters) {
    const char32_t c = text::NextCodePoint(plain, pos);
    text::AppendUtf8(
        name, std::u32string_view(U"\\/:*?\"<>|").find(c) == std::u32string_view::npos ? c : U'_');
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
    name.pop_back();
  const std::size_t dot = name.find('.');
  if (IsDeviceName(name.substr(0, dot)))
    name.insert(dot == std::string::npos ? name.size() : dot, "_");
  return name;
}

std::string MsiFormattedText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '[' || c == ']' || c == '{' || c == '}') {
      out += "[\\";
      out += c;
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

std::string WixText(std::string_view given) {
  // wixl 0.101 takes "$" before "$" as a literal "$", drops a "$" before anything else and reads
  // "$(" as a variable, whatever comes before it: a run of n "$" is written as n + 1, and "$("
  // cannot be written at all, so it becomes "$ (".
  std::string text(given);
  text::ReplaceAll(text, "$(", "$ (");
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '$' && (i == 0 || text[i - 1] != '$')) out += '$';
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
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> MsiProductVersion(std::string_view debianVersion) {
  constexpr unsigned kLimits[] = {255, 255, 65535};
  std::string version;
  std::size_t pos = 0;
  for (int part = 0; part < 3; ++part) {
    const std::size_t start = pos;
    unsigned number = 0;
    while (pos < debianVersion.size() && debianVersion[pos] >= '0' && debianVersion[pos] <= '9' &&
           number <= kLimits[part]) {
      number = number * 10 + static_cast<unsigned>(debianVersion[pos++] - '0');
    }
    if (pos == start) {
      if (part == 0) return std::nullopt;
      break;
    }
    if (number > kLimits[part]) return std::nullopt;
    version += (part ? "." : "") + std::to_string(number);
    if (pos >= debianVersion.size() || debianVersion[pos] != '.') break;
    ++pos;
  }
  while (std::count(version.begin(), version.end(), '.') < 2)
    version += ".0";
  return version;
}

std::string NameBasedGuid(std::string_view name) {
  GChecksum* sha1 = g_checksum_new(G_CHECKSUM_SHA1);
  g_checksum_update(sha1, kGuidNamespace.data(), kGuidNamespace.size());
  g_checksum_update(sha1, reinterpret_cast<const guchar*>(name.data()),
                    static_cast<gssize>(name.size()));
  std::array<std::uint8_t, 20> digest{};
  gsize length = digest.size();
  g_checksum_get_digest(sha1, digest.data(), &length);
  g_checksum_free(sha1);
  digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);
  digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);
  std::string guid;
  for (int i = 0; i < 16; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", digest[static_cast<std::size_t>(i)]);
    guid += hex;
    if (i == 3 || i == 5 || i == 7 || i == 9) guid += '-';
  }
  return guid;
}

TWixSource WixSourceText(const TDesktopApp& app, std::string_view version, bool withIcon) {
  std::string name = Windows1252Text(app.Name);
  if (name.empty()) name = Windows1252Text(app.Id);
  std::string folder = WindowsFileName(app.Name);
  if (folder.empty()) folder = WindowsFileName(app.Id);
  if (folder.empty()) folder = "Application";
  const std::string maintainer = app.Desktop.Maintainer.substr(0, app.Desktop.Maintainer.find('<'));
  std::string manufacturer = Windows1252Text(maintainer);
  if (manufacturer.empty()) manufacturer = name;
  std::string description = Windows1252Text(app.Desktop.Comment);
  if (description.empty()) description = name;
  const auto guid = [&](std::string_view component) {
    return NameBasedGuid("component\n" + app.Id + "\n" + std::string(component) + "\n" + folder);
  };

  // The values the runtime would register, with the texts the package can store. Those the
  // runtime writes only where nothing is (an extension's program) go to components of their own,
  // one per key, installed only when the key names no other program.
  config::TDesktopConfig desktop = app.Desktop;
  for (config::TFileType& type : desktop.FileTypes)
    type.Description = Windows1252Text(type.Description);
  std::string always;
  std::vector<std::pair<std::string, std::vector<startup::TClassValue>>> ifFree;
  for (const startup::TClassValue& value :
       startup::DesktopClassValues(desktop, app.Id, name, std::string(1, kExePlaceholder))) {
    if (!value.KeepExisting) {
      always += RegistryValue(value, false);
      continue;
    }
    if (ifFree.empty() || ifFree.back().first != value.Key) ifFree.push_back({value.Key, {}});
    ifFree.back().second.push_back(value);
  }

  TWixSource source;
  std::string& xml = source.Text;
  xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!-- Written by velloc pack for wixl: a per-user package of one executable. -->\n"
      "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
      "  <Product Id=\"*\"" +
      Attribute("Name", name) + " Language=\"1033\"" + Attribute("Version", version) +
      Attribute("Manufacturer", manufacturer) + " UpgradeCode=\"" + UpgradeCode(app.Id) +
      "\">\n    <Package InstallerVersion=\"500\" " +
      "Compressed=\"yes\" InstallScope=\"perUser\"" + Attribute("Description", description) +
      Attribute("Manufacturer", manufacturer) + "/>\n" +
      "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of [ProductName] is installed "
      "already.\"/>\n"
      "    <MediaTemplate EmbedCab=\"yes\"/>\n";
  if (withIcon) {
    xml +=
        "    <Icon Id=\"AppIcon.ico\" SourceFile=\"app.ico\"/>\n"
        "    <Property Id=\"ARPPRODUCTICON\" Value=\"AppIcon.ico\"/>\n";
  }
  // No features to choose, and a repair would put back the executable an update replaced.
  xml +=
      "    <Property Id=\"ARPNOMODIFY\" Value=\"1\"/>\n"
      "    <Property Id=\"ARPNOREPAIR\" Value=\"1\"/>\n";
  for (std::size_t i = 0; i < ifFree.size(); ++i) {
    const std::string index = std::to_string(i);
    xml += "    <Property Id=\"VLXEXTENSION" + index + "\"><RegistrySearch Id=\"ExtensionSearch" +
           index + "\" Root=\"HKCU\"" + Attribute("Key", ifFree[i].first) +
           " Name=\"\" Type=\"raw\"/></Property>\n";
  }
  xml +=
      "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n"
      "      <Directory Id=\"ProgramMenuFolder\"/>\n"
      "      <Directory Id=\"LocalAppDataFolder\">\n"
      "        <Directory Id=\"UserPrograms\" Name=\"Programs\">\n"
      "          <Component Id=\"ProgramsFolder\" Guid=\"" +
      guid("ProgramsFolder") +
      "\" Win64=\"yes\">\n"
      "            <RegistryValue Root=\"HKCU\"" +
      Attribute("Key", startup::kInstalledExecutablesKey) +
      " Name=\"[ProductCode]\" Type=\"string\" Value=\"[UserPrograms]\" KeyPath=\"yes\"/>\n"
      "            <RemoveFolder Id=\"RemoveUserPrograms\" On=\"uninstall\"/>\n"
      "          </Component>\n"
      "          <Directory Id=\"INSTALLDIR\"" +
      Attribute("Name", folder) + ">\n            <Component Id=\"Application\" Guid=\"" +
      guid("Application") + "\" Win64=\"yes\">\n              <File Id=\"AppExe\"" +
      Attribute("Name", folder + ".exe") +
      " Source=\"app.exe\"/>\n"
      "              <Shortcut Id=\"StartMenuShortcut\" Directory=\"ProgramMenuFolder\"" +
      Attribute("Name", folder) + " Target=\"[#AppExe]\" WorkingDirectory=\"INSTALLDIR\"" +
      (withIcon ? " Icon=\"AppIcon.ico\"" : "") + Attribute("Description", description) +
      "/>\n"
      // What the runtime reads to know that it was installed (DesktopRegistration.h).
      "              <RegistryValue Root=\"HKCU\"" +
      Attribute("Key", startup::kInstalledExecutablesKey) +
      " Name=\"[#AppExe]\" Type=\"string\" Value=\"[ProductCode]\" KeyPath=\"yes\"/>\n";
  text::ReplaceAll(always, "        <RegistryValue", "              <RegistryValue");
  xml += always +
         "              <RemoveFolder Id=\"RemoveInstallFolder\" On=\"uninstall\"/>\n"
         "            </Component>\n";
  for (std::size_t i = 0; i < ifFree.size(); ++i) {
    const std::string id = "Extension" + std::to_string(i);
    xml += "            <Component Id=\"" + id + "\" Guid=\"" + guid(id) + "\" Win64=\"yes\">\n";
    std::string progId;
    for (std::size_t j = 0; j < ifFree[i].second.size(); ++j) {
      const startup::TClassValue& value = ifFree[i].second[j];
      if (value.Name.empty()) progId = value.Data;
      std::string line = RegistryValue(value, j == 0);
      text::ReplaceAll(line, "        <RegistryValue", "              <RegistryValue");
      xml += line;
    }
    xml += "            </Component>\n";
    // Installed when the extension names no program, or this one (an earlier version's).
    source.ComponentConditions.push_back({id, "NOT VLXEXTENSION" + std::to_string(i) +
                                                  " OR VLXEXTENSION" + std::to_string(i) + " = \"" +
                                                  progId + "\""});
  }
  xml +=
      "          </Directory>\n"
      "        </Directory>\n"
      "      </Directory>\n"
      "    </Directory>\n"
      "    <Feature Id=\"Complete\" Level=\"1\"" +
      Attribute("Title", name) +
      ">\n"
      "      <ComponentRef Id=\"ProgramsFolder\"/>\n"
      "      <ComponentRef Id=\"Application\"/>\n";
  for (const auto& [id, condition] : source.ComponentConditions)
    xml += "      <ComponentRef Id=\"" + id + "\"/>\n";
  xml +=
      "    </Feature>\n"
      "  </Product>\n"
      "</Wix>\n";
  return source;
}

std::vector<std::uint8_t> WindowsIconFile(std::span<const std::uint8_t> png) {
  constexpr int kSizes[] = {16, 32, 48, 64, 128, 256};
  const std::vector<TScaledIcon> images = ScaledPngIcons(png, kSizes);
  std::vector<std::uint8_t> ico;
  const auto put = [&ico](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      ico.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  put(0, 2);  // reserved
  put(1, 2);  // an icon
  put(static_cast<std::uint32_t>(images.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (const TScaledIcon& image : images) {
    put(image.Size >= 256 ? 0 : static_cast<std::uint32_t>(image.Size), 1);  // 0 is 256
    put(image.Size >= 256 ? 0 : static_cast<std::uint32_t>(image.Size), 1);
    put(0, 1);   // no palette
    put(0, 1);   // reserved
    put(1, 2);   // planes
    put(32, 2);  // bits per pixel
    put(static_cast<std::uint32_t>(image.Png.size()), 4);
    put(offset, 4);
    offset += static_cast<std::uint32_t>(image.Png.size());
  }
  for (const TScaledIcon& image : images)
    ico.insert(ico.end(), image.Png.begin(), image.Png.end());
  return ico;
}

fs::path WindowsInstallerPath(const fs::path& executable, const TDesktopApp& app) {
  return executable.parent_path() /
         (executable.stem().string() + "-" + app.Desktop.Version + ".msi");
}

std::string WindowsInstallerVersion(const TDesktopApp& app) {
  RequireProgram("wixl", "wixl");
  RequireProgram("msibuild", "msitools");
  const std::optional<std::string> version = MsiProductVersion(app.Desktop.Version);
  if (!version) {
    throw TCliError("the version \"" + app.Desktop.Version +
                    "\" ([Desktop] Version) cannot be a Windows Installer version, which is up to "
                    "three numbers, the first two at most 255, the third at most 65535 (1.2.0)");
  }
  return *version;
}

fs::path BuildWindowsInstaller(const TDesktopApp& app, const fs::path& executable,
                               const fs::path& msi) {
  const std::string version = WindowsInstallerVersion(app);
  const fs::path target = fs::absolute(msi);
  // Beside the output, so the finished package is renamed into place; private, so it holds
  // nothing that another user of a shared folder put there.
  const TPrivateFolder work(target.parent_path(), ".velloc-msi-");
  fs::copy_file(executable, work.Path() / "app.exe");
  const bool withIcon = package::AppIconFormat(app.Icon) == package::TAppIconFormat::Png;
  if (withIcon) {
    const std::vector<std::uint8_t> ico = WindowsIconFile(app.Icon);
    WriteText(work.Path() / "app.ico",
              std::string_view(reinterpret_cast<const char*>(ico.data()), ico.size()));
  }
  const TWixSource source = WixSourceText(app, version, withIcon);
  WriteText(work.Path() / "app.wxs", source.Text);
  // wixl writes its texts in the code page of the locale: the C locale's is Windows-1252.
  RunTool({"env", "LC_ALL=C", "wixl", "--arch", "x64", "-o", "package.msi", "app.wxs"}, work.Path(),
          "wixl");
  for (const auto& [component, condition] : source.ComponentConditions) {
    RunTool({"msibuild", "package.msi", "-q",
             "UPDATE `Component` SET `Condition` = '" + condition + "' WHERE `Component` = '" +
                 component + "'"},
            work.Path(), "msitools");
  }
  // wixl's MajorUpgrade replaces only older versions, so a later build of the same version would
  // be installed beside the earlier one: its row is made to take the same version too. Its
  // attributes are part of the table's key, so the row is replaced rather than changed.
  RunTool({"msibuild", "package.msi", "-q",
           "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"},
          work.Path(), "msitools");
  RunTool({"msibuild", "package.msi", "-q",
           "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
           "VALUES ('{" +
               UpgradeCode(app.Id) + "}', '" + version + "', " +
               std::to_string(kMigrateFeatures | kMaxInclusive) + ", 'WIX_UPGRADE_DETECTED')"},
          work.Path(), "msitools");
  // Declared, so that Windows reads the texts as Windows-1252 whatever the system's code page.
  WriteText(work.Path() / "_ForceCodepage.idt", "\r\n\r\n1252\t_ForceCodepage\r\n");
  RunTool({"env", "LC_ALL=C", "msibuild", "package.msi", "-i", "_ForceCodepage.idt"}, work.Path(),
          "msitools");
  // A rename replaces the name itself: it never writes through a link someone put there.
  if (std::rename((work.Path() / "package.msi").c_str(), target.c_str()) != 0)
    throw TCliError("cannot write \"" + target.string() + "\": " + std::strerror(errno));
  return msi;
}

fs::path RunWindowsInstaller(const fs::path& executable, const fs::path& output) {
  const std::string name = "\"" + executable.string() + "\"";
  package::ExeImageInfo image{};
  try {
    image = package::TExeUtils::InspectImage(executable);
  } catch (const package::ExeUtilsError& error) {
    throw TCliError(name + ": " + error.what());
  }
  if (image.Format != package::ExeFormat::Pe || image.AttachedLength() == 0)
    throw TCliError(name + " is not a Windows executable packed by velloc");

  // What the package says of the application: its configuration and its icon.
  const std::shared_ptr<const platform::TMappedFile> bytes =
      package::TExeUtils(executable).MapZipFromExe();
  archive::TZipArchive zip;
  zip.Password(archive::PackagePassword());
  try {
    zip.Stream(bytes->Bytes(), bytes);
  } catch (const archive::ZipError& error) {
    throw TCliError(name + " carries no readable package: " + error.what());
  }
  const auto entry = [&zip](std::string_view entryName, std::uint64_t maxSize) {
    std::vector<std::uint8_t> data;
    const int index = zip.FindFile(entryName);
    if (index >= 0 && zip.Entry(index).UncompressedSize <= maxSize &&
        zip.Extract(index, data) == archive::ExtractResult::Ok) {
      return data;
    }
    return std::vector<std::uint8_t>{};
  };
  const std::vector<std::uint8_t> ini = entry("vlx.ini", config::kMaxConfigFileSize);
  if (ini.empty()) throw TCliError(name + ": the package's vlx.ini cannot be read");
  config::TProjectIni config;
  config.LoadFromBytes(ini);
  std::vector<std::string> problems;
  const config::TDesktopConfig desktop = config::ReadDesktopConfig(config, problems);
  if (!problems.empty()) throw TCliError(name + ", section [Desktop]: " + problems.front());
  const std::string id = config::ReadAppKey(config, config::app::ID);
  const TDesktopApp app{id, config::ReadAppKey(config, config::app::Name), DebianPackageName(id),
                        desktop, entry(package::kAppIconEntry, package::kMaxAppIconBytes)};
  return BuildWindowsInstaller(app, executable,
                               output.empty() ? WindowsInstallerPath(executable, app) : output);
}

}  // namespace velloc::cli
