// The web view runtime is missing: report and end, or, with the user's consent, run the
// installer that travels in the package, elevated, while a busy form is on screen, then start
// the application again. Every branch ends the process.
#pragma once

#include <string>

#include "archive/ZipArchive.h"
#include "config/ProjectIni.h"
#include "platform/Dialogs.h"
#include "platform/RuntimeInstaller.h"
#include "platform/System.h"
#include "platform/WebViewLoader.h"

namespace velloc::startup {

inline constexpr std::string_view kInstallerParams = "/silent /install";

struct TEdgeInstallerServices {
  platform::ISystem& System;
  platform::IDialogs& Dialogs;
  platform::IWebViewLoader& Loader;
  platform::IRuntimeInstaller& Installer;
};

class TEdgeInstaller {
 public:
  TEdgeInstaller(TEdgeInstallerServices services, const config::TProjectIni& projectIni,
                 archive::TZipArchive& exeZip, std::string appDataDirPath,
                 std::string loaderLibraryPath);

  // Runs the flow after the runtime check failed; the exit code of the end (always 0).
  int Run();

 private:
  TEdgeInstallerServices FServices;
  const config::TProjectIni& FProjectIni;
  archive::TZipArchive& FExeZip;
  std::string FAppDataDirPath;
  std::string FLoaderLibraryPath;
};

}  // namespace velloc::startup
