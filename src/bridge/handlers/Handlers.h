// The handlers of the bridge functions, one file per family under handlers/.
#pragma once

#include <stdexcept>
#include <string>

#include "bridge/BrowserExternalModule.h"

namespace velloc::bridge::handlers {

// What a function acts on; a missing connection is an error of the handler (no reply).
template <typename T>
T& Required(T* connection) {
  if (!connection) throw std::logic_error("the bridge is not connected to the window");
  return *connection;
}

// The answer of a function this build does not provide yet.
inline void ReplyNotSupported(TBrowserExternalModule& module, const std::string& uuid) {
  module.ReplyFailure(uuid, "\"Not supported\"");
}

// Each declaration below has the THandlerFunction signature (module, uuid, data).

// handlers/General.cpp
THandlerFunction Hello;      // 10001 vlx.hello
THandlerFunction IsRuntime;  // 10002 vlx.isRuntime

// handlers/System.cpp
THandlerFunction SystemLogoff;        // 11001 vlx.system.logoff
THandlerFunction SystemReboot;        // 11002 vlx.system.reboot
THandlerFunction SystemShutdown;      // 11003 vlx.system.shutdown
THandlerFunction SystemMacAddresses;  // 11004 vlx.system.macAddresses
THandlerFunction SystemNotification;  // 11005 vlx.system.notification

// handlers/Menus.cpp
THandlerFunction MainMenuSetItems;    // 12001 vlx.mainMenu.setItems
THandlerFunction MainMenuUpdateItem;  // 12002 vlx.mainMenu.updateItem
THandlerFunction TrayMenuShowIcon;    // 14001 vlx.trayMenu.showIcon
THandlerFunction TrayMenuHideIcon;    // 14002 vlx.trayMenu.hideIcon
THandlerFunction TrayMenuSetItems;    // 14003 vlx.trayMenu.setItems
THandlerFunction TrayMenuUpdateItem;  // 14004 vlx.trayMenu.updateItem

// handlers/Registry.cpp
THandlerFunction RegistryWriteValue;   // 13001 vlx.registry.writeValue
THandlerFunction RegistryReadValue;    // 13002 vlx.registry.readValue
THandlerFunction RegistryValueExist;   // 13003 vlx.registry.valueExist
THandlerFunction RegistryDeleteValue;  // 13004 vlx.registry.deleteValue
THandlerFunction RegistryKeyExist;     // 13005 vlx.registry.keyExist
THandlerFunction RegistryDeleteKey;    // 13006 vlx.registry.deleteKey

// handlers/Dialogs.cpp
THandlerFunction DialogsOpenFile;   // 20001 vlx.dialogs.openFile
THandlerFunction DialogsSaveFile;   // 20002 vlx.dialogs.saveFile
THandlerFunction DialogsSelFolder;  // 20003 vlx.dialogs.selFolder

// handlers/Files.cpp
THandlerFunction FilesFileExists;     // 30001 vlx.files.fileExists
THandlerFunction FilesDeleteFile;     // 30002 vlx.files.deleteFile
THandlerFunction FilesWriteTextFile;  // 30003 vlx.files.writeTextFile
THandlerFunction FilesExtractFile;    // 30004 vlx.files.extractFile

// handlers/Folders.cpp
THandlerFunction FoldersDirExists;            // 40001 vlx.folders.dirExists
THandlerFunction FoldersCreateDir;            // 40002 vlx.folders.createDir
THandlerFunction FoldersDeleteDir;            // 40003 vlx.folders.deleteDir
THandlerFunction FoldersListFiles;            // 40004 vlx.folders.listFiles
THandlerFunction FoldersGetTempDir;           // 40005 vlx.folders.getTempDir
THandlerFunction FoldersGetUserDocumentsDir;  // 40006 vlx.folders.getUserDocumentsDir
THandlerFunction FoldersGetUserDesktopDir;    // 40007 vlx.folders.getUserDesktopDir
THandlerFunction FoldersGetAppExecutableDir;  // 40008 vlx.folders.getAppExecutableDir
THandlerFunction FoldersGetAppDataDir;        // 40009 vlx.folders.getAppDataDir

// handlers/App.cpp
THandlerFunction AppClose;            // 50001 vlx.app.close
THandlerFunction AppInFullscreen;     // 50002 vlx.app.inFullscreen
THandlerFunction AppEnterFullscreen;  // 50003 vlx.app.enterFullscreen
THandlerFunction AppExitFullscreen;   // 50004 vlx.app.exitFullscreen
THandlerFunction AppGetArgs;          // 50005 vlx.app.getArgs
THandlerFunction AppNavigate;         // 50006 vlx.app.navigate

// handlers/Updates.cpp
THandlerFunction AppCheckForUpdate;  // 50007 vlx.app.checkForUpdate
THandlerFunction AppInstallUpdate;   // 50008 vlx.app.installUpdate

// handlers/Window.cpp
THandlerFunction WindowGetStyle;   // 60001 vlx.window.getStyle
THandlerFunction WindowSetStyle;   // 60002 vlx.window.setStyle
THandlerFunction WindowGetState;   // 60003 vlx.window.getState
THandlerFunction WindowSetState;   // 60004 vlx.window.setState
THandlerFunction WindowGetTitle;   // 60005 vlx.window.getTitle
THandlerFunction WindowSetTitle;   // 60006 vlx.window.setTitle
THandlerFunction WindowGetZoom;    // 60007 vlx.window.getZoom
THandlerFunction WindowSetZoom;    // 60008 vlx.window.setZoom
THandlerFunction WindowGetSize;    // 60009 vlx.window.getSize
THandlerFunction WindowSetSize;    // 60010 vlx.window.setSize
THandlerFunction WindowGetBorder;  // 60011 vlx.window.getBorder
THandlerFunction WindowSetBorder;  // 60012 vlx.window.setBorder

// handlers/Shell.cpp
THandlerFunction ShellExecute;  // 70001 vlx.shell.execute
THandlerFunction ShellExplore;  // 70002 vlx.shell.explore
THandlerFunction ShellCommand;  // 70003 vlx.shell.command
THandlerFunction ShellWindows;  // 70004 vlx.shell.windows

// handlers/Themes.cpp
THandlerFunction ThemesGetTheme;   // 80001 vlx.themes.getTheme
THandlerFunction ThemesGetThemes;  // 80002 vlx.themes.getThemes
THandlerFunction ThemesSetTheme;   // 80003 vlx.themes.setTheme

// handlers/Base64.cpp
THandlerFunction Base64DecodeToFile;  // 90001 vlx.base64.decodeToFile

}  // namespace velloc::bridge::handlers
