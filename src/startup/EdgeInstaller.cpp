#include "startup/EdgeInstaller.h"

#include <vector>

#include "config/AppKeys.h"
#include "platform/PlatformNames.h"
#include "startup/LocalizedMessages.h"

namespace velloc::startup {

using platform::TMsgDlgBtn;
using platform::TMsgDlgType;

TEdgeInstaller::TEdgeInstaller(TEdgeInstallerServices services,
                               const config::TProjectIni& projectIni, archive::TZipArchive& exeZip,
                               std::string appDataDirPath, std::string loaderLibraryPath)
    : FServices(services),
      FProjectIni(projectIni),
      FExeZip(exeZip),
      FAppDataDirPath(std::move(appDataDirPath)),
      FLoaderLibraryPath(std::move(loaderLibraryPath)) {}

int TEdgeInstaller::Run() {
  if (!config::ReadAppKey(FProjectIni, config::app::EdgeInstaller)) {
    return ShowLocalizedError(FServices.Dialogs, msg::RuntimeRequired);
  }

  const int answer = FServices.Dialogs.MessageDlg(
      GetLocalizedMessage(msg::RuntimeInstallQuestion), TMsgDlgType::Confirmation,
      {TMsgDlgBtn::Yes, TMsgDlgBtn::Cancel},
      {GetLocalizedMessage(msg::AcceptButton), GetLocalizedMessage(msg::CancelButton)},
      GetLocalizedMessage(msg::ConfirmTitle));
  if (answer != platform::mrYes) {
    // The loader library and any web data go with the folder; the next start extracts again.
    FServices.Installer.DeleteDirectory(FAppDataDirPath);
    return ShowLocalizedError(FServices.Dialogs, msg::ApplicationEnds);
  }

  // The packaged installer, written afresh into a folder of its own: a file left by an earlier
  // attempt, or placed by another program, is never what runs elevated. A package without the
  // entry gets an empty file, which cannot run; the re-check fails.
  std::vector<std::uint8_t> bytes;
  FExeZip.ExtractToStream(platform::kWebViewInstallerEntry, bytes);
  const std::string installer = FServices.Installer.WriteInstaller(
      FAppDataDirPath, std::string(platform::kWebViewInstallerEntry), bytes);

  FServices.Installer.ShowBusyForm(
      {config::ReadAppKey(FProjectIni, config::app::InstallFormColor),
       config::ReadAppKey(FProjectIni, config::app::InstallIndicatorColor),
       config::ReadAppKey(FProjectIni, config::app::InstallIndicatorType)});
  if (!installer.empty()) {
    FServices.Installer.RunElevatedAndWait(installer, std::string(kInstallerParams));
  }

  if (FServices.Loader.CheckEdgeIsInstalled(FLoaderLibraryPath)) {
    if (!installer.empty()) {
      FServices.Installer.DeleteFile(installer);
      FServices.Installer.DeleteDirectory(
          installer.substr(0, installer.rfind(FServices.System.PathSeparator()) + 1));
    }
    // The arguments of this process are not passed on: the new one is a plain start.
    FServices.System.StartProcess(FServices.System.ExecutablePath(), {});
    return 0;
  }
  FServices.Installer.DeleteDirectory(FAppDataDirPath);
  return ShowLocalizedError(FServices.Dialogs, msg::InstallationCancelled);
}

}  // namespace velloc::startup
