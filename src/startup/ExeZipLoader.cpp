#include "startup/ExeZipLoader.h"

#include <cstdio>
#include <stdexcept>

#include "archive/PackagePassword.h"
#include "config/AppKeys.h"
#include "core/Crt.h"
#include "core/Text.h"
#include "package/DevelopmentPackage.h"
#include "platform/PlatformNames.h"
#include "startup/EdgeInstaller.h"
#include "startup/LocalizedMessages.h"
#include "startup/RequirePasswordForm.h"

namespace velloc::startup {
namespace {

// How names from the package appear in messages: control characters escaped, length capped.
std::string Shown(std::string_view text) {
  return text::Abbreviate(text::EscapeControl(text.substr(0, 1024)), 256);
}

std::string WithTrailingSeparator(std::string path, char separator) {
  if (path.empty() || path.back() != separator) path.push_back(separator);
  return path;
}

}  // namespace

std::vector<std::uint8_t> TExeZipLoader::ExtractEntry(std::string_view name) {
  std::vector<std::uint8_t> bytes;
  ExeZip->ExtractToStream(name, bytes);
  return bytes;
}

void TExeZipLoader::LoadConfiguration() {
  // The size is checked before anything is extracted: parsing costs many times the text.
  const int index = ExeZip->FindFile("vlx.ini");
  if (index >= 0 && ExeZip->Entry(index).UncompressedSize > config::kMaxConfigFileSize) {
    throw std::runtime_error("The package's vlx.ini holds " +
                             std::to_string(ExeZip->Entry(index).UncompressedSize) +
                             " bytes; a configuration may hold at most 1 MiB.");
  }
  ProjectINI->LoadFromBytes(ExtractEntry("vlx.ini"));
}

void TExeZipLoader::ExtractLoaderLibrary() {
  // A missing entry writes nothing: the runtime check that follows reports the missing module.
  const int index = ExeZip->FindFile(platform::kWebViewLoaderEntry);
  if (index < 0) return;
  // A file left by an earlier start is used only when it has the module's size and CRC-32 (the
  // package's directory holds both): a damaged or truncated copy would otherwise fail every
  // later start. Reading the file back costs a tenth of a millisecond; decrypting and inflating
  // the module to compare bytes cost every start about 2 ms.
  const archive::TZipEntry entry = ExeZip->Entry(index);
  const auto existing = FServices.ModuleFile.Read(LoaderLibraryPath, entry.UncompressedSize);
  if (existing && existing->size() == entry.UncompressedSize &&
      archive::Crc32(*existing) == entry.Crc32) {
    return;
  }
  std::vector<std::uint8_t> bytes;
  const archive::ExtractResult result = ExeZip->Extract(index, bytes);
  if (result != archive::ExtractResult::Ok) {
    throw std::runtime_error("The package's web view module cannot be extracted: " +
                             std::string(archive::ToString(result)));
  }
  if (!FServices.ModuleFile.Replace(LoaderLibraryPath, bytes)) {
    throw std::runtime_error("Cannot create file \"" + LoaderLibraryPath + "\"");
  }
}

bool TExeZipLoader::IsFurtherWindowCommandLine() const {
  const std::vector<std::string> args = FServices.System.Arguments();
  return args.size() == 2 && args[0] == AppID;
}

std::optional<int> TExeZipLoader::LoadExeZip() {
  platform::ISystem& system = FServices.System;

  // The objects everything later reads.
  // By its UTF-8 name: a narrow path is read in the ANSI code page on Windows, where an
  // executable under C:\Users\José\ would then find no package behind itself.
  ExeUtils = std::make_unique<package::TExeUtils>(crt::Utf8Path(system.ExecutablePath()));
  ExeZip = std::make_unique<archive::TZipArchive>();
  ProjectINI = std::make_unique<config::TProjectIni>();

  // A runtime without a package is not an application.
  if (!ExeUtils->ExeHasAttachedStub())
    return ShowLocalizedError(FServices.Dialogs, msg::NotValidApplication);

  // The password goes in before the archive is opened. The package is mapped, not read:
  // start-up touches its directory and the few entries it needs, whatever the media it holds.
  ExeZip->Password(archive::PackagePassword());
  ExeZipStream = ExeUtils->MapZipFromExe();
  ExeZip->Stream(ExeZipStream->Bytes(), ExeZipStream);

  // The configuration and the four start-up values, all read before any check.
  LoadConfiguration();
  AppID = config::ReadAppKey(*ProjectINI, config::app::ID);
  AppName = config::ReadAppKey(*ProjectINI, config::app::Name);
  AppDirName = config::ReadAppKey(*ProjectINI, config::app::DirName);
  AppIndexHtml = config::ReadAppKey(*ProjectINI, config::app::IndexHtml);

  // A package under another password, or an incomplete configuration, ends silently.
  if (AppID.empty() || AppName.empty() || AppDirName.empty()) return 0;
  // The ID names the data folder and the instance lock, so it must be one plain folder name;
  // a package that breaks this is damaged or hostile, and ends as a start-up error does.
  if (const std::string_view problem = config::AppIdProblem(AppID); !problem.empty()) {
    throw std::runtime_error("The application ID \"" + Shown(AppID) +
                             "\" cannot name a folder: " + std::string(problem) + ".");
  }
  system.SetApplicationId(AppID);

  // The visual style; "Windows" is the native look and needs no style.
  const std::string theme = config::ReadAppKey(*ProjectINI, config::app::Theme);
  if (theme != platform::kSystemStyleName) FServices.Styles.TrySetStyle(theme, true);
  FServices.Styles.ExcludeMenusFromStyling();

  // The application's data folder, and the folder of its web view module inside it.
  const char separator = system.PathSeparator();
  AppDataDirPath = WithTrailingSeparator(system.LocalAppDataDirPath() + AppID, separator);
  if (!system.ForceDirectories(AppDataDirPath)) {
    throw std::runtime_error("Unable to create directory \"" + AppDataDirPath + "\"");
  }
  WebView2DataDirPath = AppDataDirPath + std::string(platform::kWebViewDataSubfolder);
  const int loaderIndex = ExeZip->FindFile(platform::kWebViewLoaderEntry);
  const std::uint32_t loaderCrc = loaderIndex >= 0 ? ExeZip->Entry(loaderIndex).Crc32 : 0;
  LoaderLibraryPath = WebView2DataDirPath + platform::LoaderLibraryRelativePath(loaderCrc);
  const std::string loaderFolder =
      LoaderLibraryPath.substr(0, LoaderLibraryPath.rfind(separator) + 1);
  if (!system.ForceDirectories(loaderFolder)) {
    throw std::runtime_error("Unable to create directory \"" + loaderFolder + "\"");
  }

  // The loader library, written whole; a copy that differs from the package's is replaced.
  ExtractLoaderLibrary();

  // The web view's environment: its data folder and browser arguments.
  system.SetEnvironmentVariable("WEBVIEW2_USER_DATA_FOLDER", WebView2DataDirPath);
  std::string arguments = config::ReadAppKey(*ProjectINI, config::app::WebviewArguments);
  if (text::TrimControl(arguments).empty()) arguments = config::kDefaultWebviewArguments;
  // A package made by `velloc run` also shows the page's console, and maybe the inspector: only
  // with the secret of the session that made it, never an entry added to another package.
  if (ExeZip->FindFile(package::kDevelopmentEntry) >= 0) {
    const std::vector<std::uint8_t> words = ExtractEntry(package::kDevelopmentEntry);
    const std::string_view text(reinterpret_cast<const char*>(words.data()), words.size());
    const std::string_view secret = package::DevelopmentSecret(text);
    Development =
        !secret.empty() &&
        secret == system.EnvironmentVariable(std::string(package::kDevelopmentSecretVariable));
    if (Development) {
      arguments = package::DevelopmentArguments(arguments, text);
      DevelopmentOrigin = package::LoopbackOrigin(package::DevelopmentUrl(text));
      if (!DevelopmentOrigin.empty()) DevelopmentUrl = package::DevelopmentUrl(text);
    }
  }
  system.SetEnvironmentVariable("WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", arguments);
  system.RemoveEnvironmentVariable("WEBVIEW2_BROWSER_EXECUTABLE_FOLDER");
  system.RemoveEnvironmentVariable("WEBVIEW2_RELEASE_CHANNEL_PREFERENCE");

  // Without a usable web view runtime the application cannot run; the installer flow
  // reports that or installs the runtime and starts the application again.
  if (!FServices.Loader.CheckEdgeIsInstalled(LoaderLibraryPath)) {
    return TEdgeInstaller({system, FServices.Dialogs, FServices.Loader, FServices.Installer},
                          *ProjectINI, *ExeZip, AppDataDirPath, LoaderLibraryPath)
        .Run();
  }

  // The password gate; further windows of the application itself pass.
  const std::vector<std::string> args = system.Arguments();
  if (args.empty() || args[0] != AppID) {
    const std::string password = config::ReadAppKey(*ProjectINI, config::app::Password);
    if (!password.empty()) {
      TRequirePasswordForm form(FServices.PasswordForm);
      form.Password(password);
      if (form.ShowModal(AppName) != platform::mrOk) {
        PasswordRefused = true;
        return 0;
      }
    }
  }

  // The web view loader starts creating its environment in the background.
  if (!DevelopmentOrigin.empty()) FServices.Loader.SetDevelopmentOrigin(DevelopmentOrigin);
  FServices.Loader.StartWebView2(LoaderLibraryPath);
  return std::nullopt;
}

std::optional<int> TExeZipLoader::ApplySingleInstanceRule() {
  if (config::ReadAppKey(*ProjectINI, config::app::AllowInstances)) return std::nullopt;
  const platform::TInstanceLockResult lock = FServices.System.CreateInstanceLock(AppID);
  HoldsInstanceLock = lock == platform::TInstanceLockResult::Created;
  if (lock != platform::TInstanceLockResult::AlreadyExists || IsFurtherWindowCommandLine()) {
    return std::nullopt;
  }
  // The running instance comes forward with what this start was asked to open (a link, a
  // file); this process ends quietly as before, whether it was heard or not.
  FServices.System.SendToRunningInstance(AppID, FServices.System.Arguments());
  if (!Development) return 0;
  // `velloc run` started this to show a window: its author must hear why there is none.
  std::fprintf(stderr,
               "velloc: \"%s\" (ID %s) is already running, as a packed application or another "
               "velloc run; its window was brought forward. Close it first, or set "
               "AllowInstances=1 in vlx.ini to run more than one.\n",
               Shown(AppName).c_str(), Shown(AppID).c_str());
  return 1;
}

void TExeZipLoader::UnloadExeZip() {
  ExeZip.reset();
  ExeUtils.reset();
  ProjectINI.reset();
  ExeZipStream.reset();
  AppID.clear();
  AppName.clear();
  AppDirName.clear();
  AppIndexHtml.clear();
  AppDataDirPath.clear();
  WebView2DataDirPath.clear();
  Development = false;
  DevelopmentUrl.clear();
  DevelopmentOrigin.clear();
}

}  // namespace velloc::startup
