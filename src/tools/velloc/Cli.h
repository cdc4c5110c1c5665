// The `velloc` command: packs an application folder into one executable, and inspects and
// unpacks packaged executables.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velloc::archive {
class TZipArchive;
}

namespace velloc::cli {

// A failure the user can act on; the command prints it and exits with code 2.
class TCliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TPackOptions {
  std::filesystem::path AppFolder;
  std::filesystem::path Output;   // empty: the application's ID in the current folder
  std::filesystem::path Runtime;  // empty: the target's runtime (see Target)
  std::filesystem::path Module;   // empty: the web view module beside the runtime
  // "linux" or "windows": which runtime to pack onto when no --runtime is given. Windows
  // runtimes are looked for in $VELLOC_WINDOWS_DIR, in windows/ beside this program and in the
  // build tree's windows/bin.
  std::string Target = "linux";
  std::filesystem::path Installer;  // empty: the built-in installer script
  std::filesystem::path Icon;       // PNG or SVG; empty: Velloc's own icon
  bool Quiet = false;
  // Replace an output file that is not an executable velloc packed (see RunPack).
  bool Force = false;
  // Print the warnings about vlx.ini (`velloc run` prints them only when the file changed).
  bool ConfigWarnings = true;
  // Also a Debian package of the application beside the output (Linux targets).
  bool Deb = false;
  // Also an RPM package beside the output (Linux targets), and a per-user Windows Installer
  // package (Windows targets).
  bool Rpm = false;
  bool Msi = false;
  // Also its desktop entry, icons, metainfo and MIME definition below this folder, laid out as
  // /usr/share is, for other packagers.
  std::filesystem::path DesktopFiles;
  // The unstripped runtime and module of the build (unstripped/ beside the default ones) instead
  // of the stripped ones, for an author who wants symbols in the packed executable itself.
  bool Debug = false;
  // `velloc run`: a development package (package/DevelopmentPackage.h), optionally with the
  // inspector.
  bool Development = false;
  bool Inspect = false;
  std::string DevelopmentSecret;  // the session's secret, written into the entry
  std::string DevelopmentUrl;     // the development server the window shows, if any
};

// `velloc run`: runs an app folder without packing it for good, packing it again on every change.
struct TRunOptions {
  std::filesystem::path AppFolder;
  std::filesystem::path Runtime;  // empty: velloc-runtime beside this program
  std::filesystem::path Module;   // empty: the WebKitGTK module beside the runtime
  bool Inspect = false;
  // The author's development server (Vite, webpack, any) on this machine's loopback: the window
  // shows it with the bridge, and its own hot reload replaces the reload on saved changes.
  std::string Url;
};

// `velloc update-manifest`: the signed manifest of a packed executable.
struct TManifestOptions {
  std::filesystem::path Executable;
  std::string Url;            // where the executable will be downloaded from
  std::filesystem::path Key;  // the secret key of `velloc keygen`
  std::string Notes;          // release notes, or
  std::filesystem::path NotesFile;
  std::filesystem::path Output;  // empty: EXE.json
};

// `template` names one of the templates ("plain", "vite", "vite-react"); empty is "plain".
void RunInit(const std::filesystem::path& folder, std::string_view name,
             std::string_view templateName = {});
// `velloc keygen`: a new key pair for signing updates, in FILE and FILE.pub.
void RunKeygen(const std::filesystem::path& output);
std::filesystem::path RunUpdateManifest(const TManifestOptions& options);
std::filesystem::path RunPack(const TPackOptions& options);
// Returns the application's exit code.
int RunDevelopment(const TRunOptions& options);
void RunInfo(const std::filesystem::path& executable);
void RunExtract(const std::filesystem::path& executable, const std::filesystem::path& folder);
// `velloc registry` with the arguments after "registry".
void RunRegistry(const std::vector<std::string_view>& args);

// Opens the package behind a packed executable into `zip`, which keeps it mapped; a TCliError
// says why it cannot.
void OpenPackage(const std::filesystem::path& executable, archive::TZipArchive& zip);

// The path below `root` for an entry name, or no value when the name could escape `root`
// (absolute, "..", a drive letter, backslash separators, empty or NUL-holding components).
std::optional<std::filesystem::path> SafeEntryPath(const std::filesystem::path& root,
                                                   std::string_view entryName);

// The help text of a command (`velloc init --help`); empty for a command without one.
std::string_view CommandHelp(std::string_view command);

// The folder of the running `velloc` program.
std::filesystem::path ProgramFolder();

}  // namespace velloc::cli
