// What an installed application needs from the desktop: a desktop entry named by its ID (with
// its URL schemes and file types), its icon in the hicolor theme, AppStream metainfo and the
// shared-mime-info definition of its file types; and a Debian package that installs all of it
// with the executable (`velloc pack --deb`, `--desktop-files DIR`).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/DesktopKeys.h"

namespace velloc::cli {

struct TDesktopApp {
  std::string Id;  // the application's ID (StartupWMClass, the window class)
  std::string Name;
  std::string Command;  // the program name on PATH, for Exec
  config::TDesktopConfig Desktop;
  std::vector<std::uint8_t> Icon;  // PNG or SVG
};

// The ID as a desktop file ID and icon name: letters, digits, ".", "_" and "-"; every other
// character becomes "-".
std::string DesktopFileId(std::string_view appId);
// The ID as a Debian package name and command: lower case letters, digits, "+", "-" and ".",
// beginning with a letter or digit, at least two characters.
std::string DebianPackageName(std::string_view appId);

std::string DesktopEntryText(const TDesktopApp& app);
std::string MetainfoText(const TDesktopApp& app);
// Empty when the application declares no file types.
std::string MimeInfoText(const TDesktopApp& app);

// Writes the desktop entry, icons, metainfo and MIME definition below `share` (as
// /usr/share is laid out: applications/, icons/hicolor/, metainfo/, mime/packages/).
void WriteDesktopFiles(const TDesktopApp& app, const std::filesystem::path& share);

// Builds `<package>_<version>_<architecture>.deb` in `folder` from the packed executable and
// returns its path. Its dependencies are those of `runtime` and `module` as dpkg-shlibdeps finds
// them on this machine.
std::filesystem::path BuildDebianPackage(const TDesktopApp& app,
                                         const std::filesystem::path& executable,
                                         const std::filesystem::path& runtime,
                                         const std::filesystem::path& module,
                                         const std::filesystem::path& folder);

}  // namespace velloc::cli
