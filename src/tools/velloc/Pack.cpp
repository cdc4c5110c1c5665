// velloc pack: one encrypted package from an application folder, appended to a copy of the
// runtime. Everything is written to temporary files beside the output and moved into place only
// when complete, so a failed pack leaves no partial output behind.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <vector>

#include <sys/stat.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "archive/ZipWriter.h"
#include "config/AppKeys.h"
#include "config/ConfigCheck.h"
#include "config/DesktopKeys.h"
#include "core/Text.h"
#include "core/Version.h"
#include "package/AppIcon.h"
#include "package/DevelopmentPackage.h"
#include "package/ExeUtils.h"
#include "package/PeIcon.h"
#include "platform/PlatformNames.h"
#include "tools/velloc/Cli.h"
#include "tools/velloc/DesktopFiles.h"
#include "tools/velloc/Progress.h"
#include "tools/velloc/RpmPackage.h"
#include "tools/velloc/WindowsInstaller.h"
#include "update/Updater.h"

namespace velloc::embedded {
extern const std::string_view WebKitInstallerScript;
extern const std::string_view VellocIconPng;
}  // namespace velloc::embedded

namespace velloc::cli {
namespace fs = std::filesystem;
namespace {

std::string Quote(const fs::path& p) {
  return "\"" + p.string() + "\"";
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec))
    throw TCliError("cannot read " + Quote(path) + ": not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TCliError("cannot read " + Quote(path) + ": " + std::strerror(errno));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) throw TCliError("cannot read " + Quote(path));
  return bytes;
}

// A temporary file that is removed unless it was moved into place.
class TTempFile {
 public:
  explicit TTempFile(const fs::path& folder) {
    std::string pattern = (folder / ".velloc-pack-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw TCliError("cannot write in " + Quote(folder) + ": " + std::strerror(errno));
    ::close(fd);
    FPath = pattern;
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() {
    if (!FPath.empty()) {
      std::error_code ec;
      fs::remove(FPath, ec);
    }
  }
  const fs::path& Path() const { return FPath; }
  void MoveTo(const fs::path& target) {
    std::error_code ec;
    fs::rename(FPath, target, ec);
    if (ec) throw TCliError("cannot write " + Quote(target) + ": " + ec.message());
    FPath.clear();
  }

 private:
  fs::path FPath;
};

struct TSource {
  std::string EntryName;
  fs::path Path;  // empty for a folder
};

// The application folder's files and folders, in a stable order.
std::vector<TSource> CollectAppFolder(const fs::path& appFolder, const std::string& dirName,
                                      std::uint64_t& totalBytes) {
  std::vector<TSource> sources;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(
           appFolder, fs::directory_options::follow_directory_symlink, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), appFolder).generic_string();
    if (!text::IsValidUtf8(relative)) {
      std::fprintf(stderr, "velloc: warning: %s is not a UTF-8 name; pages may not find it\n",
                   relative.c_str());
    }
    if (it->is_directory()) {
      sources.push_back({dirName + "/" + relative + "/", {}});
    } else if (it->is_regular_file()) {
      sources.push_back({dirName + "/" + relative, it->path()});
      totalBytes += it->file_size();
    } else {
      std::fprintf(stderr, "velloc: warning: skipping %s (not a regular file)\n",
                   it->path().c_str());
    }
  }
  if (ec)
    throw TCliError("cannot read the application folder " + Quote(appFolder) + ": " + ec.message());
  std::sort(sources.begin(), sources.end(),
            [](const TSource& a, const TSource& b) { return a.EntryName < b.EntryName; });
  return sources;
}

std::string OutputName(const std::string& id) {
  std::string name;
  for (const char c : id) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    name += plain ? c : '-';
  }
  if (name.empty() || name == "." || name == "..") name = "app";
  return name;
}

// The Windows runtime when none is named: from $VELLOC_WINDOWS_DIR, then windows/ beside this
// program (an installation), then the build tree's windows preset beside this one's.
fs::path WindowsRuntime() {
  std::vector<fs::path> folders;
  if (const char* dir = std::getenv("VELLOC_WINDOWS_DIR"); dir && *dir) folders.emplace_back(dir);
  folders.push_back(ProgramFolder() / "windows");
  folders.push_back(ProgramFolder().parent_path().parent_path() / "windows" / "bin");
  std::string tried;
  for (const fs::path& folder : folders) {
    const fs::path runtime = folder / "velloc-runtime.exe";
    if (fs::is_regular_file(runtime)) return runtime;
    tried += "\n  " + runtime.string();
  }
  throw TCliError("no Windows runtime; looked for" + tried +
                  "\nbuild it with the windows CMake preset, or pass --runtime PATH");
}

// True when the bytes between the image end and the certificate table are zeros.
bool PaddingOnly(const fs::path& runtime, const package::ExeImageInfo& image) {
  std::ifstream in(runtime, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(image.ImageEnd));
  for (std::uint64_t i = 0; i < image.AttachedLength(); ++i) {
    if (in.get() != 0) return false;
  }
  return static_cast<bool>(in);
}

// The warnings about vlx.ini, each naming the file and line, at most kMaxWarnings of them.
void PrintConfigWarnings(const fs::path& iniPath, std::string_view text) {
  constexpr std::size_t kMaxWarnings = 20;
  const std::vector<config::TConfigWarning> warnings = config::CheckConfiguration(text);
  for (std::size_t i = 0; i < warnings.size() && i < kMaxWarnings; ++i) {
    std::fprintf(stderr, "velloc: warning: %s:%d: %s\n", iniPath.c_str(), warnings[i].Line,
                 warnings[i].Text.c_str());
  }
  if (warnings.size() > kMaxWarnings) {
    std::fprintf(stderr, "velloc: warning: %s: %zu more warnings\n", iniPath.c_str(),
                 warnings.size() - kMaxWarnings);
  }
}

// The runtime opens "file:///" + IndexHtml, looked up in the web folder as every page is (the
// query and fragment are no part of the name, letter case does not count).
void WarnOfAMissingStartPage(const config::TProjectIni& config, const std::string& dirName,
                             const fs::path& appFolder, const std::vector<TSource>& sources) {
  const std::string indexHtml = config::ReadAppKey(config, config::app::IndexHtml);
  std::string page = indexHtml.substr(0, indexHtml.find_first_of("?#"));
  text::ReplaceAll(page, "%20", " ");
  const std::string entry = text::AsciiLower(dirName + "/" + page);
  for (const TSource& source : sources) {
    if (!source.Path.empty() && text::AsciiLower(source.EntryName) == entry) return;
  }
  std::fprintf(stderr,
               "velloc: warning: the start page \"%s\" (IndexHtml) is not in the web folder %s: "
               "the application would open on \"Not found\"\n",
               text::EscapeControl(page).c_str(), Quote(appFolder).c_str());
}

// Whether `path` is `folder` or lies below it, links resolved as far as they exist.
bool IsInside(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  const fs::path inner = fs::weakly_canonical(path, ec);
  if (ec) return false;
  const fs::path relative = inner.lexically_relative(fs::weakly_canonical(folder, ec));
  return !ec && !relative.empty() && *relative.begin() != "..";
}

// Whether `path` holds an executable velloc packed: a runtime image followed by a package whose
// configuration opens under the package password. Only such a file is replaced without --force:
// anything else may be the author's own.
bool IsPackedExecutable(const fs::path& path) {
  try {
    if (package::TExeUtils::InspectImage(path).AttachedLength() == 0) return false;
    archive::TZipArchive zip;
    OpenPackage(path, zip);
    return zip.FindFile("vlx.ini") >= 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

fs::path RunPack(const TPackOptions& options) {
  const fs::path& folder = options.AppFolder;
  if (!fs::is_directory(folder)) throw TCliError("no such application folder: " + Quote(folder));

  // The configuration and the keys the runtime cannot start without.
  const fs::path iniPath = folder / "vlx.ini";
  if (!fs::exists(iniPath))
    throw TCliError(Quote(iniPath) + " is missing: every application needs one");
  std::error_code sizeError;
  const std::uintmax_t iniSize = fs::file_size(iniPath, sizeError);
  if (!sizeError && iniSize > config::kMaxConfigFileSize) {
    throw TCliError(Quote(iniPath) + " holds " + std::to_string(iniSize) +
                    " bytes; a configuration may hold at most 1 MiB");
  }
  const std::vector<std::uint8_t> ini = ReadFile(iniPath);
  const std::string iniText = config::DecodeIniText(ini);
  // What the runtime would ignore or read otherwise than meant, before anything else fails.
  if (options.ConfigWarnings) PrintConfigWarnings(iniPath, iniText);
  config::TProjectIni config;
  config.LoadFromText(iniText);
  if (!config.SectionExists(config::kAppSection)) {
    throw TCliError(Quote(iniPath) + " has no section [App], which names the application (ID, " +
                    "Name and DirName)");
  }
  for (const config::StringKey& key : {config::app::ID, config::app::Name, config::app::DirName}) {
    if (config::ReadAppKey(config, key).empty()) {
      throw TCliError(Quote(iniPath) + ": the key " + std::string(key.Name) +
                      " of section [App] is missing or empty");
    }
  }
  const std::string id = config::ReadAppKey(config, config::app::ID);
  // The runtime names the application's data folder and instance lock after the ID.
  if (const std::string_view problem = config::AppIdProblem(id); !problem.empty()) {
    throw TCliError(
        Quote(iniPath) + ": the ID \"" +
        text::Abbreviate(text::EscapeControl(std::string_view(id).substr(0, 1024)), 256) +
        "\" cannot name a folder: " + std::string(problem));
  }
  // Section Desktop is the packer's to check: the runtime would only ignore a bad entry.
  std::vector<std::string> desktopProblems;
  const config::TDesktopConfig desktop = config::ReadDesktopConfig(config, desktopProblems);
  if (!desktopProblems.empty())
    throw TCliError(Quote(iniPath) + ", section [Desktop]: " + desktopProblems.front());
  // Updates that could not work are refused here too: the runtime would only answer the page so.
  if (const auto problems = update::UpdateSettingsProblems(update::ReadUpdateSettings(config));
      !problems.empty())
    throw TCliError(Quote(iniPath) + ": " + problems.front());
  const std::string dirName = config::ReadAppKey(config, config::app::DirName);
  if (dirName.find_first_of("/\\") != std::string::npos || dirName == "." || dirName == "..") {
    throw TCliError(Quote(iniPath) + ": DirName must name a folder directly inside " +
                    Quote(folder));
  }
  const fs::path appFolder = folder / dirName;
  if (!fs::is_directory(appFolder)) {
    throw TCliError("the application folder " + Quote(appFolder) +
                    " named by DirName does not exist");
  }

  // Optimised builds strip the runtime beside `velloc` and keep an unstripped copy below it; a
  // build without that copy (a debug build) has an unstripped runtime already.
  const auto unstrippedOr = [&options](const fs::path& path) {
    const fs::path unstripped = path.parent_path() / "unstripped" / path.filename();
    return options.Debug && fs::is_regular_file(unstripped) ? unstripped : path;
  };
  const fs::path runtime =
      options.Runtime.empty()
          ? (options.Target == "windows" ? WindowsRuntime()
                                         : unstrippedOr(ProgramFolder() / "velloc-runtime"))
          : options.Runtime;
  if (!fs::is_regular_file(runtime))
    throw TCliError("no runtime at " + Quote(runtime) + "; pass --runtime PATH");
  // The runtime must end at its image end: the format appends a package once.
  package::ExeImageInfo image{};
  try {
    image = package::TExeUtils::InspectImage(runtime);
  } catch (const package::ExeUtilsError& error) {
    throw TCliError(Quote(runtime) + " is not a runtime executable: " + error.what());
  }
  // A signed runtime is taken without its signature, which the package behind it would break
  // (and a signer refuses a signature that is not at the end): only the padding a signer puts
  // in front of its certificate table may lie between the image and the table.
  if (image.AttachedLength() > 0 &&
      !(image.Signed() && image.AttachedLength() < 8 && PaddingOnly(runtime, image))) {
    throw TCliError(Quote(runtime) + " already carries a package (" +
                    std::to_string(image.AttachedLength()) +
                    " bytes after its image); pack onto a bare runtime");
  }
  if (image.Signed() && !options.Quiet) {
    std::fprintf(stderr,
                 "velloc: note: %s is signed; the packed executable is not (sign it after "
                 "packing)\n",
                 Quote(runtime).c_str());
  }

  // What the runtime needs besides the application: its web view module and installer.
  const bool linuxRuntime = image.Format != package::ExeFormat::Pe;
  if (!linuxRuntime && (options.Deb || options.Rpm || !options.DesktopFiles.empty()))
    throw TCliError("--deb, --rpm and --desktop-files are for Linux executables");
  if (linuxRuntime && options.Msi) throw TCliError("--msi is for Windows executables");
  fs::path module = options.Module;
  if (module.empty()) {
    module = linuxRuntime ? unstrippedOr(runtime.parent_path() /
                                         ("velloc-webkit-" + std::string(kRuntimeVersion) + ".so"))
                          : runtime.parent_path() / "WebView2LoaderWin64.dll";
  }
  if (!fs::is_regular_file(module)) {
    throw TCliError("no web view module at " + Quote(module) + "; pass --module PATH");
  }
  if (!linuxRuntime && options.Installer.empty() && !options.Quiet) {
    std::fprintf(stderr,
                 "velloc: note: no --installer: on a machine without the WebView2 runtime the app "
                 "can only say so; pass Microsoft's bootstrapper to offer the installation\n");
  }
  const std::string moduleEntry =
      linuxRuntime ? std::string(platform::kWebViewLoaderEntry) : "WebView2LoaderWin64.dll";
  const std::string installerEntry =
      linuxRuntime ? std::string(platform::kWebViewInstallerEntry) : "WebView2Installer.exe";

  // The output: never a folder, never a file the pack reads, never inside the web folder (the
  // next pack would put it into the package), and only over a file that is an executable velloc
  // packed, or empty, unless --force.
  fs::path output = options.Output.empty() ? fs::current_path() / OutputName(id) : options.Output;
  if (fs::is_directory(output))
    throw TCliError("the output " + Quote(output) + " is a folder; pass -o FILE");
  std::error_code ec;
  const std::pair<fs::path, const char*> inputs[] = {
      {runtime, "the runtime"},        {iniPath, "the configuration"},
      {module, "the web view module"}, {folder / "vlx-webviewjs", "the page script"},
      {options.Icon, "the icon"},      {options.Installer, "the installer"}};
  for (const auto& [input, what] : inputs) {
    if (!input.empty() && fs::equivalent(output, input, ec))
      throw TCliError("the output would overwrite " + std::string(what) + " " + Quote(input));
  }
  if (IsInside(output, appFolder)) {
    throw TCliError("the output " + Quote(output) + " is inside the web folder " +
                    Quote(appFolder) + ": the next pack would put the executable into the " +
                    "package; write it elsewhere");
  }
  if (!options.Force && fs::exists(output, ec) && !fs::is_empty(output, ec) &&
      !IsPackedExecutable(output)) {
    throw TCliError(Quote(output) + " exists and is not an executable packed by velloc; pass " +
                    "--force to replace it");
  }
  fs::path outputFolder = output.parent_path().empty() ? fs::current_path() : output.parent_path();
  if (!fs::is_directory(outputFolder))
    throw TCliError("cannot write " + Quote(output) + ": no such folder");
  // What the installers need is checked before anything is written.
  const TDesktopApp app{
      id, config::ReadAppKey(config, config::app::Name), DebianPackageName(id), desktop, {}};
  std::optional<TRpmPlan> rpmPlan;
  if (options.Rpm) rpmPlan = PlanRpmPackage(runtime, module, outputFolder);
  if (options.Msi) WindowsInstallerVersion(app);

  // The application icon, checked before anything is written.
  std::vector<std::uint8_t> icon;
  if (!options.Icon.empty()) {
    std::error_code iconError;
    if (fs::is_regular_file(options.Icon, iconError) &&
        fs::file_size(options.Icon, iconError) > package::kMaxAppIconBytes)
      throw TCliError("the icon " + Quote(options.Icon) + " is larger than 4 MiB");
    icon = ReadFile(options.Icon);
    if (package::AppIconFormat(icon) == package::TAppIconFormat::Unknown)
      throw TCliError("the icon " + Quote(options.Icon) + " is neither PNG nor SVG");
  } else {
    const std::string_view builtIn = embedded::VellocIconPng;
    icon.assign(builtIn.begin(), builtIn.end());
  }

  std::uint64_t totalBytes = ini.size() + icon.size();
  const std::vector<TSource> appSources = CollectAppFolder(appFolder, dirName, totalBytes);
  // A window on a development server does not open the start page.
  if (options.DevelopmentUrl.empty())
    WarnOfAMissingStartPage(config, dirName, appFolder, appSources);
  const fs::path pageScript = folder / "vlx-webviewjs";
  const bool hasPageScript = fs::is_regular_file(pageScript);
  if (hasPageScript) totalBytes += fs::file_size(pageScript);
  if (!module.empty()) totalBytes += fs::file_size(module);

  TTempFile zip(outputFolder);
  TTempFile executable(outputFolder);
  {
    TProgressBar bar("packing", !options.Quiet);
    bar.SetMax(totalBytes);
    try {
      archive::TZipWriter writer(zip.Path());
      writer.Password(archive::PackagePassword());
      // Large media can be read from the middle without decrypting what comes before.
      writer.Checkpoints(archive::kDefaultCheckpointInterval);
      // A signer pads a Windows executable to a multiple of 8 bytes before its certificate
      // table; padded here, in the archive's comment, signing leaves the package as it is.
      if (!linuxRuntime) writer.AlignEnd(image.ImageEnd, 8);
      writer.OnProgress([&bar](std::uint64_t done) { bar.SetPos(done); });
      writer.AddFile("vlx.ini", ini, archive::ZipMethod::Deflate);
      if (hasPageScript)
        writer.AddFileFromDisk("vlx-webviewjs", pageScript, archive::ZipMethod::Deflate);
      if (options.Development) {
        const std::string words = package::DevelopmentEntryText(
            options.Inspect, options.DevelopmentSecret, options.DevelopmentUrl);
        writer.AddFile(package::kDevelopmentEntry,
                       {reinterpret_cast<const std::uint8_t*>(words.data()), words.size()},
                       archive::ZipMethod::Stored);
      }
      writer.AddFile(package::kAppIconEntry, icon,
                     package::AppIconFormat(icon) == package::TAppIconFormat::Png
                         ? archive::ZipMethod::Stored
                         : archive::ZipMethod::Deflate);
      if (!module.empty()) writer.AddFileFromDisk(moduleEntry, module, archive::ZipMethod::Deflate);
      if (!options.Installer.empty()) {
        writer.AddFileFromDisk(installerEntry, options.Installer, archive::ZipMethod::Deflate);
      } else if (linuxRuntime) {
        const std::string_view script = embedded::WebKitInstallerScript;
        writer.AddFile(installerEntry,
                       {reinterpret_cast<const std::uint8_t*>(script.data()), script.size()},
                       archive::ZipMethod::Deflate);
      }
      for (const TSource& source : appSources) {
        if (source.Path.empty()) {
          writer.AddDirectory(source.EntryName);
        } else {
          writer.AddFileFromDisk(source.EntryName, source.Path,
                                 archive::ShouldStore(source.EntryName)
                                     ? archive::ZipMethod::Stored
                                     : archive::ZipMethod::Deflate);
        }
      }
      writer.Finish();
    } catch (const archive::ZipError& error) {
      throw TCliError(std::string("cannot write the package: ") + error.what());
    }
  }

  if (!linuxRuntime && (!options.Icon.empty() || image.Signed())) {
    std::vector<std::uint8_t> runtimeBytes = ReadFile(runtime);
    if (image.Signed()) package::RemovePeSignature(runtimeBytes, image.ImageEnd);
    // A Windows executable shows its own icon resource in Explorer: the PNG goes there too.
    try {
      if (!options.Icon.empty()) package::ReplacePeIcon(runtimeBytes, icon);
    } catch (const package::PeIconError& error) {
      throw TCliError("cannot set the icon " + Quote(options.Icon) + " on " + Quote(runtime) +
                      ": " + error.what());
    }
    std::ofstream out(executable.Path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(runtimeBytes.data()),
              static_cast<std::streamsize>(runtimeBytes.size()));
    if (!out.flush()) throw TCliError("cannot write " + Quote(executable.Path()));
  } else {
    fs::copy_file(runtime, executable.Path(), fs::copy_options::overwrite_existing, ec);
    if (ec) throw TCliError("cannot copy the runtime " + Quote(runtime) + ": " + ec.message());
  }
  {
    TProgressBar bar("attaching", !options.Quiet);
    package::TExeUtils exeUtils(executable.Path());
    exeUtils.SetOnProgressMax(
        [&bar](std::int64_t max) { bar.SetMax(static_cast<std::uint64_t>(max)); });
    exeUtils.SetOnProgressPos(
        [&bar](std::int64_t pos) { bar.SetPos(static_cast<std::uint64_t>(pos)); });
    try {
      exeUtils.AppendZipToExe(zip.Path(), executable.Path());
    } catch (const package::ExeUtilsError& error) {
      throw TCliError(std::string("cannot attach the package: ") + error.what());
    }
  }
  if (::chmod(executable.Path().c_str(), 0755) != 0) {
    throw TCliError("cannot make " + Quote(output) + " executable: " + std::strerror(errno));
  }
  executable.MoveTo(output);
  if (!options.Quiet) {
    std::printf("Packed %zu entries of %s into %s (%ju bytes)\n", appSources.size(),
                Quote(folder).c_str(), Quote(output).c_str(),
                static_cast<std::uintmax_t>(fs::file_size(output)));
  }

  // Desktop integration: the files a distribution package needs, or the packages themselves.
  if (options.Deb || options.Rpm || options.Msi || !options.DesktopFiles.empty()) {
    TDesktopApp withIcon = app;
    withIcon.Icon = icon;
    if (!options.DesktopFiles.empty()) {
      WriteDesktopFiles(withIcon, options.DesktopFiles);
      if (!options.Quiet)
        std::printf("Wrote desktop files into %s\n", Quote(options.DesktopFiles).c_str());
    }
    if (options.Deb) {
      const fs::path deb = BuildDebianPackage(withIcon, output, runtime, module, outputFolder);
      if (!options.Quiet) std::printf("Built the Debian package %s\n", Quote(deb).c_str());
    }
    if (options.Rpm) {
      const fs::path rpm = BuildRpmPackage(withIcon, output, *rpmPlan, outputFolder);
      if (!options.Quiet) std::printf("Built the RPM package %s\n", Quote(rpm).c_str());
    }
    if (options.Msi) {
      const fs::path msi =
          BuildWindowsInstaller(withIcon, output, WindowsInstallerPath(output, withIcon));
      if (!options.Quiet) std::printf("Built the Windows installer %s\n", Quote(msi).c_str());
    }
  }
  return output;
}

}  // namespace velloc::cli
