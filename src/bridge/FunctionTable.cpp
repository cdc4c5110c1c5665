// The function-identifier table: family number times 1000 plus the member number.
#include "bridge/BrowserExternalModule.h"
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge {
namespace {

using namespace handlers;

constexpr TBridgeFunction kFunctions[] = {
    {10001, "vlx.hello", &Hello},
    {10002, "vlx.isRuntime", &IsRuntime},
    {11001, "vlx.system.logoff", &SystemLogoff},
    {11002, "vlx.system.reboot", &SystemReboot},
    {11003, "vlx.system.shutdown", &SystemShutdown},
    {11004, "vlx.system.macAddresses", &SystemMacAddresses},
    {11005, "vlx.system.notification", &SystemNotification},
    {12001, "vlx.mainMenu.setItems", &MainMenuSetItems},
    {12002, "vlx.mainMenu.updateItem", &MainMenuUpdateItem},
    {13001, "vlx.registry.writeValue", &RegistryWriteValue},
    {13002, "vlx.registry.readValue", &RegistryReadValue},
    {13003, "vlx.registry.valueExist", &RegistryValueExist},
    {13004, "vlx.registry.deleteValue", &RegistryDeleteValue},
    {13005, "vlx.registry.keyExist", &RegistryKeyExist},
    {13006, "vlx.registry.deleteKey", &RegistryDeleteKey},
    {14001, "vlx.trayMenu.showIcon", &TrayMenuShowIcon},
    {14002, "vlx.trayMenu.hideIcon", &TrayMenuHideIcon},
    {14003, "vlx.trayMenu.setItems", &TrayMenuSetItems},
    {14004, "vlx.trayMenu.updateItem", &TrayMenuUpdateItem},
    {20001, "vlx.dialogs.openFile", &DialogsOpenFile},
    {20002, "vlx.dialogs.saveFile", &DialogsSaveFile},
    {20003, "vlx.dialogs.selFolder", &DialogsSelFolder},
    {30001, "vlx.files.fileExists", &FilesFileExists},
    {30002, "vlx.files.deleteFile", &FilesDeleteFile},
    {30003, "vlx.files.writeTextFile", &FilesWriteTextFile},
    {30004, "vlx.files.extractFile", &FilesExtractFile},
    {40001, "vlx.folders.dirExists", &FoldersDirExists},
    {40002, "vlx.folders.createDir", &FoldersCreateDir},
    {40003, "vlx.folders.deleteDir", &FoldersDeleteDir},
    {40004, "vlx.folders.listFiles", &FoldersListFiles},
    {40005, "vlx.folders.getTempDir", &FoldersGetTempDir},
    {40006, "vlx.folders.getUserDocumentsDir", &FoldersGetUserDocumentsDir},
    {40007, "vlx.folders.getUserDesktopDir", &FoldersGetUserDesktopDir},
    {40008, "vlx.folders.getAppExecutableDir", &FoldersGetAppExecutableDir},
    {40009, "vlx.folders.getAppDataDir", &FoldersGetAppDataDir},
    {50001, "vlx.app.close", &AppClose},
    {50002, "vlx.app.inFullscreen", &AppInFullscreen},
    {50003, "vlx.app.enterFullscreen", &AppEnterFullscreen},
    {50004, "vlx.app.exitFullscreen", &AppExitFullscreen},
    {50005, "vlx.app.getArgs", &AppGetArgs},
    {50006, "vlx.app.navigate", &AppNavigate},
    {50007, "vlx.app.checkForUpdate", &AppCheckForUpdate},
    {50008, "vlx.app.installUpdate", &AppInstallUpdate},
    {60001, "vlx.window.getStyle", &WindowGetStyle},
    {60002, "vlx.window.setStyle", &WindowSetStyle},
    {60003, "vlx.window.getState", &WindowGetState},
    {60004, "vlx.window.setState", &WindowSetState},
    {60005, "vlx.window.getTitle", &WindowGetTitle},
    {60006, "vlx.window.setTitle", &WindowSetTitle},
    {60007, "vlx.window.getZoom", &WindowGetZoom},
    {60008, "vlx.window.setZoom", &WindowSetZoom},
    {60009, "vlx.window.getSize", &WindowGetSize},
    {60010, "vlx.window.setSize", &WindowSetSize},
    {60011, "vlx.window.getBorder", &WindowGetBorder},
    {60012, "vlx.window.setBorder", &WindowSetBorder},
    {70001, "vlx.shell.execute", &ShellExecute},
    {70002, "vlx.shell.explore", &ShellExplore},
    {70003, "vlx.shell.command", &ShellCommand},
    {70004, "vlx.shell.windows", &ShellWindows},
    {80001, "vlx.themes.getTheme", &ThemesGetTheme},
    {80002, "vlx.themes.getThemes", &ThemesGetThemes},
    {80003, "vlx.themes.setTheme", &ThemesSetTheme},
    {90001, "vlx.base64.decodeToFile", &Base64DecodeToFile},
};

}  // namespace

std::span<const TBridgeFunction> TBrowserExternalModule::FunctionTable() {
  return kFunctions;
}

}  // namespace velloc::bridge
