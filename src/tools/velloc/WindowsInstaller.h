// `velloc pack --target windows --msi` and `velloc msi EXE`: a per-user Windows Installer
// package of a packed Windows executable, built with wixl (Debian's msitools). It installs the
// executable as %LOCALAPPDATA%\Programs\<Name>\<Name>.exe without elevation, a Start-menu
// shortcut with the application's icon, an entry in "Installed apps", and the URL schemes and
// file types of [Desktop] below HKEY_CURRENT_USER\Software\Classes, with the values the runtime
// would write at its first start (startup/DesktopRegistration.h), which the installed runtime
// then leaves alone; uninstalling removes all of it.
//
// wixl reads a subset of WiX 3, and what it lacks is made up for here: the conditions of the
// components that claim an extension (only when no other program has it) are set in the built
// database with msibuild, and so is its code page. wixl 0.101 stores only Windows-1252 text, so
// every text of the package is reduced to it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/velloc/DesktopFiles.h"

namespace velloc::cli {

// Free text as the package stores it: one line (DesktopText), every character outside
// Windows-1252 replaced by "_".
std::string Windows1252Text(std::string_view text);
// A file or folder name for Windows from free text: Windows-1252, the characters Windows refuses
// in names (\ / : * ? " < > |) as "_", no blanks or full stops at the end, a device name (CON,
// NUL, COM1...) with "_" after it, at most 64 characters; empty when nothing is left.
std::string WindowsFileName(std::string_view text);
// Text for a column that Windows Installer formats (registry names and values): "[", "]", "{"
// and "}" escaped as "[\[]", so that no text names a property.
std::string MsiFormattedText(std::string_view text);
// Text for an attribute of the WiX source: XML's escapes, and "$" as wixl's preprocessor lets it
// through ("$(" cannot be written and becomes "$ (").
std::string WixText(std::string_view text);
// A Debian version ([Desktop] Version) as Windows Installer's "major.minor.build": its leading
// numbers, at most three (Windows Installer compares no more), major and minor at most 255, build
// at most 65535. No value when it does not begin so or a number is too large.
std::optional<std::string> MsiProductVersion(std::string_view debianVersion);
// A name-based GUID (RFC 4122 version 5, SHA-1) in Velloc's own namespace, so that every build
// of an application gives the same upgrade code and component GUIDs.
std::string NameBasedGuid(std::string_view name);

// The WiX source of the package and what wixl cannot say: the conditions to set on components
// of the built database, as (component, condition).
struct TWixSource {
  std::string Text;
  std::vector<std::pair<std::string, std::string>> ComponentConditions;
};
// `version` as MsiProductVersion gives it; the executable and the icon (an .ico, or none) are
// the files "app.exe" and "app.ico" beside the source.
TWixSource WixSourceText(const TDesktopApp& app, std::string_view version, bool withIcon);

// An .ico file of the PNG icon in the sizes Windows shows, from 16 to 256 pixels (those it is at
// least as large as), each stored as PNG.
std::vector<std::uint8_t> WindowsIconFile(std::span<const std::uint8_t> png);

// The package's version from [Desktop] Version (MsiProductVersion), after a check that wixl and
// msibuild are on PATH; a TCliError says what is missing or why the version cannot be one.
std::string WindowsInstallerVersion(const TDesktopApp& app);

// "<output's name without extension>-<version>.msi" beside the executable.
std::filesystem::path WindowsInstallerPath(const std::filesystem::path& executable,
                                           const TDesktopApp& app);

// Builds the package of the packed Windows executable at `msi`, staged in a private folder beside
// it and moved into place when complete; returns `msi`.
std::filesystem::path BuildWindowsInstaller(const TDesktopApp& app,
                                            const std::filesystem::path& executable,
                                            const std::filesystem::path& msi);

// `velloc msi EXE [-o FILE]`: the package of an executable packed for Windows (signed or not),
// from the configuration and icon in its package; returns the package's path.
std::filesystem::path RunWindowsInstaller(const std::filesystem::path& executable,
                                          const std::filesystem::path& output);

}  // namespace velloc::cli
