// What an installed application needs from the desktop: a desktop entry named by its ID (with
// its URL schemes and file types), its icon in the hicolor theme, AppStream metainfo and the
// shared-mime-info definition of its file types; and a Debian package that installs all of it
// with the executable (`velloc pack --deb`, `--desktop-files DIR`).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
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
// The ID as a Debian package name and command, in a namespace of Velloc's own so that no ID can
// name a package or command of the system (ID=sudo gives "velloc-app-sudo", never "sudo"):
// "velloc-app-" and the ID in lower case letters, digits, "+", "-" and "."; "velloc-app" when
// nothing of the ID is left.
std::string DebianPackageName(std::string_view appId);

// Free text for the desktop entry, the control file and the XML files: one line of valid UTF-8
// without control characters (each becomes a blank) or the characters XML forbids, blanks
// trimmed at both ends.
std::string DesktopText(std::string_view text);

std::string DesktopEntryText(const TDesktopApp& app);
std::string MetainfoText(const TDesktopApp& app);
// Empty when the application declares no file types.
std::string MimeInfoText(const TDesktopApp& app);
// The Debian package's control file; `depends` as dpkg-shlibdeps gave it (may be empty).
std::string DebianControlText(const TDesktopApp& app, std::string_view architecture,
                              std::string_view depends);

// Writes the desktop entry, icons, metainfo and MIME definition below `share` (as
// /usr/share is laid out: applications/, icons/hicolor/, metainfo/, mime/packages/).
void WriteDesktopFiles(const TDesktopApp& app, const std::filesystem::path& share);

// The files every Linux package installs, staged below `staging` as they land below "/": the
// executable as /usr/lib/<package>/<package>, the command /usr/bin/<package> (a link to it) and
// the desktop files below /usr/share; modes as a package installs them. Returns the staged
// paths that are not folders ("/usr/bin/<package>", ...), sorted.
std::vector<std::string> StageInstalledFiles(const TDesktopApp& app,
                                             const std::filesystem::path& executable,
                                             const std::filesystem::path& staging);

// The PNG `png` scaled to each of `sizes` it is at least as large as, as PNG files; throws
// TCliError when it is not a PNG or smaller than all of them.
struct TScaledIcon {
  int Size;
  std::vector<std::uint8_t> Png;
};
std::vector<TScaledIcon> ScaledPngIcons(std::span<const std::uint8_t> png,
                                        std::span<const int> sizes);

// What the package builders share: writing a text file (its folders made), running a program
// found on PATH in `folder` (its standard output; a TCliError says what failed and which Debian
// package brings the program), and setting the modes a package installs with, whatever the
// umask gave the staged files (folders and `program` 0755, every other file 0644; links as they
// are).
void WriteText(const std::filesystem::path& path, std::string_view text);
// Throws a TCliError naming the Debian package to install when `program` is not on PATH, so that
// a pack stops before it writes anything.
void RequireProgram(std::string_view program, std::string_view debianPackage);
std::string RunTool(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                    std::string_view debianPackage);
void SetPackageModes(const std::filesystem::path& root, const std::filesystem::path& program);

// A folder for one run only, made with mkdtemp inside `parent` (a name nobody has used, mode
// 0700), so nothing can be planted in it beforehand or added while it is in use; removed with
// everything in it when this goes. Throws TCliError when it cannot be made.
class TPrivateFolder {
 public:
  TPrivateFolder(const std::filesystem::path& parent, std::string_view prefix);
  ~TPrivateFolder();
  TPrivateFolder(const TPrivateFolder&) = delete;
  TPrivateFolder& operator=(const TPrivateFolder&) = delete;
  const std::filesystem::path& Path() const { return FPath; }

 private:
  std::filesystem::path FPath;
};

// Builds `<package>_<version>_<architecture>.deb` in `folder` from the packed executable and
// returns its path. Its dependencies are those of `runtime` and `module` as dpkg-shlibdeps finds
// them on this machine. The package is staged in a private folder beside it and moved into
// place when complete, so it holds exactly what is written here.
std::filesystem::path BuildDebianPackage(const TDesktopApp& app,
                                         const std::filesystem::path& executable,
                                         const std::filesystem::path& runtime,
                                         const std::filesystem::path& module,
                                         const std::filesystem::path& folder);

}  // namespace velloc::cli
