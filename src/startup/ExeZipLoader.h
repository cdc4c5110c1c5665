// Start-up: everything between the program entry and the main window. It finds and opens the
// package behind the executable's image, reads the configuration, applies the style, prepares
// the per-application folders and the web view environment, checks the web view runtime, asks
// for the password and starts the web view loader. Every stop is an orderly end of the process.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/ZipArchive.h"
#include "config/ProjectIni.h"
#include "package/ExeUtils.h"
#include "platform/Dialogs.h"
#include "platform/MappedFile.h"
#include "platform/ModuleFile.h"
#include "platform/PasswordForm.h"
#include "platform/RuntimeInstaller.h"
#include "platform/Styles.h"
#include "platform/System.h"
#include "platform/WebViewLoader.h"

namespace velloc::startup {

struct TStartupServices {
  platform::ISystem& System;
  platform::IDialogs& Dialogs;
  platform::IStyleManager& Styles;
  platform::IWebViewLoader& Loader;
  platform::IModuleFile& ModuleFile;
  platform::IPasswordFormView& PasswordForm;
  platform::IRuntimeInstaller& Installer;
};

class TExeZipLoader {
 public:
  explicit TExeZipLoader(TStartupServices services) : FServices(services) {}
  TExeZipLoader(const TExeZipLoader&) = delete;
  TExeZipLoader& operator=(const TExeZipLoader&) = delete;

  // Runs the start-up steps in order. Returns no value when the application may go on to its
  // main window, or the exit code of an orderly end. Errors it does not expect (a package that
  // is not a ZIP archive, a folder that cannot be created) propagate to the program entry.
  std::optional<int> LoadExeZip();
  // Frees the start-up objects; runs at process end, also after an end inside LoadExeZip.
  void UnloadExeZip();

  // The single-instance rule of the program entry: no value when the application goes on to its
  // main window, or the exit code of a start that ends here because another instance runs.
  std::optional<int> ApplySingleInstanceRule();

  // True when the command line is the two-argument form "<AppID> <URL>" of a further window.
  bool IsFurtherWindowCommandLine() const;

  // The process-wide start-up state; read by the main window and the bridge.
  std::unique_ptr<package::TExeUtils> ExeUtils;
  std::unique_ptr<archive::TZipArchive> ExeZip;
  std::unique_ptr<config::TProjectIni> ProjectINI;
  // The package's bytes: the executable's attached region, mapped read-only rather than copied
  // (the archive shares it, so a replaced package lives until its last reader is done).
  std::shared_ptr<const platform::TMappedFile> ExeZipStream;
  std::string AppID;
  std::string AppName;
  std::string AppDirName;
  std::string AppIndexHtml;
  std::string AppDataDirPath;
  std::string WebView2DataDirPath;
  std::string LoaderLibraryPath;
  // The package is a development package of the `velloc run` session that started this process
  // (package/DevelopmentPackage.h).
  bool Development = false;
  // The development server that the development package names (`velloc run --url`), and its
  // origin; both empty unless Development and the address is on the loopback.
  std::string DevelopmentUrl;
  std::string DevelopmentOrigin;
  // This process holds the single-instance lock: later starts hand it their arguments.
  bool HoldsInstanceLock = false;
  // Start-up ended because the user closed the password form.
  bool PasswordRefused = false;

 private:
  std::vector<std::uint8_t> ExtractEntry(std::string_view name);
  void LoadConfiguration();
  void ExtractLoaderLibrary();

  TStartupServices FServices;
};

}  // namespace velloc::startup
