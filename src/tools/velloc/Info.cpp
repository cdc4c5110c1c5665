// velloc info: what an executable carries.
#include <cstdio>

#include "archive/ZipArchive.h"
#include "config/AppKeys.h"
#include "core/Text.h"
#include "package/ExeUtils.h"
#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace {

const char* FormatName(package::ExeFormat format) {
  switch (format) {
    case package::ExeFormat::Elf32:
      return "ELF 32-bit";
    case package::ExeFormat::Elf64:
      return "ELF 64-bit";
    case package::ExeFormat::Pe:
      return "PE (Windows)";
  }
  return "unknown";
}

// Every key of the table with the value the runtime reads, "(default)" where the file sets none
// (or sets one that is not of the key's type); then what the file holds that Velloc never reads.
void PrintConfiguration(const std::vector<std::uint8_t>& bytes) {
  config::TProjectIni ini;
  ini.LoadFromBytes(bytes);
  std::printf("\nvlx.ini, as the runtime reads it (\"(default)\": not set by the file):\n");
  std::string_view section;
  for (const config::ConfigKey& key : config::kConfigKeys) {
    if (config::ConfigKeySection(key) != section) {
      section = config::ConfigKeySection(key);
      std::printf("  [%s]\n", std::string(section).c_str());
    }
    const std::string_view name = config::ConfigKeyName(key);
    const bool set = config::ConfigKeyIsSet(ini, key);
    std::string value = text::EscapeControl(config::AppKeyValueText(ini, key));
    // The password's value stays inside the package.
    if (name == config::app::Password.Name && !value.empty()) value = "(set, not shown)";
    std::printf("    %s = %s%s\n", std::string(name).c_str(), value.c_str(),
                set ? "" : (value.empty() ? "(default)" : "  (default)"));
  }
  std::string unread;
  for (const std::string& fileSection : ini.ReadSections()) {
    for (const std::string& name : ini.ReadSection(fileSection)) {
      if (config::FindConfigKey(fileSection, name)) continue;
      unread += "    [" + text::EscapeControl(fileSection) + "] " + text::EscapeControl(name) +
                " = " + text::EscapeControl(ini.ReadString(fileSection, name, "")) + "\n";
    }
  }
  if (!unread.empty()) std::printf("  Not read by Velloc:\n%s", unread.c_str());
}

}  // namespace

void RunInfo(const std::filesystem::path& executable) {
  package::ExeImageInfo image{};
  try {
    image = package::TExeUtils::InspectImage(executable);
  } catch (const package::ExeUtilsError& error) {
    throw TCliError("\"" + executable.string() + "\": " + error.what());
  }
  std::printf("Executable: %s\n", executable.c_str());
  std::printf("Format:     %s, image of %ju bytes, file of %ju bytes\n", FormatName(image.Format),
              static_cast<std::uintmax_t>(image.ImageEnd),
              static_cast<std::uintmax_t>(image.FileSize));
  if (image.Format == package::ExeFormat::Pe) {
    if (image.Signed()) {
      std::printf("Signature:  Authenticode certificate table of %ju bytes at %ju\n",
                  static_cast<std::uintmax_t>(image.SignatureSize),
                  static_cast<std::uintmax_t>(image.PackageEnd));
    } else {
      std::printf("Signature:  none\n");
    }
  }
  if (image.AttachedLength() == 0) {
    std::printf("Package:    none (a bare runtime)\n");
    return;
  }
  std::printf("Package:    %ju bytes\n", static_cast<std::uintmax_t>(image.AttachedLength()));

  archive::TZipArchive zip;
  OpenPackage(executable, zip);

  std::vector<std::uint8_t> iniBytes;
  const int iniIndex = zip.FindFile("vlx.ini");
  const bool iniTooLarge =
      iniIndex >= 0 && zip.Entry(iniIndex).UncompressedSize > config::kMaxConfigFileSize;
  if (iniTooLarge) {
    std::printf("\nvlx.ini:    %u bytes, not read: a configuration may hold at most 1 MiB\n",
                zip.Entry(iniIndex).UncompressedSize);
  } else if (iniIndex < 0 || zip.Extract(iniIndex, iniBytes) != archive::ExtractResult::Ok) {
    std::printf("\nvlx.ini:    cannot be read (missing, or packed under another password)\n");
  } else {
    PrintConfiguration(iniBytes);
  }

  std::printf("\nEntries (%d):\n  %10s %10s  %-7s %s\n", zip.EntryCount(), "Size", "Packed",
              "Method", "Name");
  for (int i = 0; i < zip.EntryCount(); ++i) {
    const archive::TZipEntry entry = zip.Entry(i);
    const char* method = entry.Method == 0 ? "stored" : entry.Method == 8 ? "deflate" : "other";
    std::printf("  %10u %10u  %-7s %s%s\n", entry.UncompressedSize, entry.CompressedSize, method,
                text::EscapeControl(entry.Name).c_str(),
                entry.Encrypted() ? "" : "  (not encrypted)");
  }
  if (iniTooLarge) {
    throw TCliError("the package's vlx.ini is over 1 MiB: the runtime refuses to start it");
  }
}

}  // namespace velloc::cli
