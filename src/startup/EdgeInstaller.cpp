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
      FLoaderLibraryPath(std::move(loaderLibraryPath)),
      FInstallerPath(FAppDataDirPath + std::string(platform::kWebViewInstallerEntry)) {}

int TEdgeInstaller::ShowError(int textIndex) {
  FServices.Dialogs.MessageDlg(GetLocalizedMessage(textIndex), TMsgDlgType::Error,
                               {TMsgDlgBtn::Yes}, {GetLocalizedMessage(msg::AcceptButton)},
                               GetLocalizedMessage(msg::ErrorTitle));
  return 0;
}

int TEdgeInstaller::Run() {
  if (!config::ReadAppKey(FProjectIni, config::app::EdgeInstaller)) {
    return ShowError(msg::RuntimeRequired);
  }

  const int answer = FServices.Dialogs.MessageDlg(
      GetLocalizedMessage(msg::RuntimeInstallQuestion), TMsgDlgType::Confirmation,
      {TMsgDlgBtn::Yes, TMsgDlgBtn::Cancel},
      {GetLocalizedMessage(msg::AcceptButton), GetLocalizedMessage(msg::CancelButton)},
      GetLocalizedMessage(msg::ConfirmTitle));
  if (answer != platform::mrYes) {
    // The loader library and any web data go with the folder; the next start extracts again.
    FServices.Installer.DeleteDirectory(FAppDataDirPath);
    return ShowError(msg::ApplicationEnds);
  }

  // An installer left by an earlier attempt is used as it is: it was written whole or not at
  // all. A package without the entry gets an empty file, which cannot run; the re-check fails.
  if (!FServices.System.FileExists(FInstallerPath)) {
    std::vector<std::uint8_t> bytes;
    FExeZip.ExtractToStream(platform::kWebViewInstallerEntry, bytes);
    FServices.System.CreateNewFile(FInstallerPath, bytes);
  }

  FServices.Installer.ShowBusyForm(
      {config::ReadAppKey(FProjectIni, config::app::InstallFormColor),
       config::ReadAppKey(FProjectIni, config::app::InstallIndicatorColor),
       config::ReadAppKey(FProjectIni, config::app::InstallIndicatorType)});
  FServices.Installer.RunElevatedAndWait(FInstallerPath, std::string(kInstallerParams));

  if (FServices.Loader.CheckEdgeIsInstalled(FLoaderLibraryPath)) {
    if (FServices.System.FileExists(FInstallerPath)) FServices.Installer.DeleteFile(FInstallerPath);
    // The arguments of this process are not passed on: the new one is a plain start.
    FServices.System.StartProcess(FServices.System.ExecutablePath(), {});
    return 0;
  }
  FServices.Installer.DeleteDirectory(FAppDataDirPath);
  return ShowError(msg::InstallationCancelled);
}

}  // namespace velloc::startup
