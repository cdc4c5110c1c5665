// velloc info: what an executable carries.
#include <cstdio>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "config/AppKeys.h"
#include "core/Text.h"
#include "package/ExeUtils.h"
#include "platform/MappedFile.h"
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

  const std::shared_ptr<const platform::TMappedFile> bytes =
      package::TExeUtils(executable).MapZipFromExe();
  archive::TZipArchive zip;
  zip.Password(archive::PackagePassword());
  try {
    zip.Stream(bytes->Bytes(), bytes);
  } catch (const archive::ZipError& error) {
    throw TCliError(std::string("the attached data is not a readable package: ") + error.what());
  }

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
    config::TProjectIni ini;
    ini.LoadFromBytes(iniBytes);
    std::printf("\n[App] of vlx.ini:\n");
    for (const std::string& key : ini.ReadSection(config::kAppSection)) {
      const std::string value = ini.ReadString(config::kAppSection, key, "");
      // The password's value stays inside the package.
      const bool secret = text::LocaleUpper(key) == text::LocaleUpper(config::app::Password.Name);
      std::printf("  %s = %s\n", text::EscapeControl(key).c_str(),
                  secret ? (value.empty() ? "(empty)" : "(set, not shown)")
                         : text::EscapeControl(value).c_str());
    }
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
