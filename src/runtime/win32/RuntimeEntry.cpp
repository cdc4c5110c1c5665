#include "runtime/win32/RuntimeEntry.h"

// clang-format off
// First among the services: their headers drop windows.h's renaming macros (DeleteFile,
// SetEnvironmentVariable) before any interface declares a member of that name.
#include "platform/win32/Win32RuntimeInstaller.h"
#include "platform/win32/Win32System.h"
// clang-format on

#include <cstdint>
#include <exception>
#include <objbase.h>
#include <optional>
#include <string>
#include <vector>

#include "bridge/BrowserExternalForm.h"
#include "bridge/BuiltinStyles.h"
#include "bridge/StyleManager.h"
#include "browser/MainForm.h"
#include "config/DesktopKeys.h"
#include "package/AppIcon.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32FileDialogs.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32HttpClient.h"
#include "platform/win32/Win32MainMenuBar.h"
#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/Win32MenuImages.h"
#include "platform/win32/Win32ModuleFile.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32Notifications.h"
#include "platform/win32/Win32PasswordForm.h"
#include "platform/win32/Win32RegistryValueStore.h"
#include "platform/win32/Win32Session.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32Styles.h"
#include "platform/win32/Win32TrayIcon.h"
#include "platform/win32/Win32UpdateFiles.h"
#include "platform/win32/Win32WindowList.h"
#include "startup/DesktopRegistration.h"
#include "startup/ExeZipLoader.h"
#include "update/RuntimeUpdates.h"

namespace velloc::runtime::win32 {
namespace {

// The icon `velloc pack --icon` put in the package, for the window and the taskbar: a PNG becomes
// an icon as a PNG icon resource would. The executable's own icon stays Velloc's.
class TPackageIcons {
 public:
  TPackageIcons(const archive::TZipArchive& zip, HWND window) : FWindow(window) {
    const int index = zip.FindFile(package::kAppIconEntry);
    if (index < 0 || zip.Entry(index).UncompressedSize > package::kMaxAppIconBytes) return;
    std::vector<std::uint8_t> png;
    if (zip.Extract(index, png) != archive::ExtractResult::Ok || png.size() < 8 || png[0] != 0x89 ||
        png[1] != 'P') {
      return;  // SVG icons have no Windows form here
    }
    const auto make = [&png](int metricX, int metricY) {
      return CreateIconFromResourceEx(png.data(), static_cast<DWORD>(png.size()), TRUE, 0x00030000,
                                      GetSystemMetrics(metricX), GetSystemMetrics(metricY),
                                      LR_DEFAULTCOLOR);
    };
    FBig = make(SM_CXICON, SM_CYICON);
    FSmall = make(SM_CXSMICON, SM_CYSMICON);
    if (FBig) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(FBig));
    if (FSmall) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FSmall));
  }
  TPackageIcons(const TPackageIcons&) = delete;
  TPackageIcons& operator=(const TPackageIcons&) = delete;
  ~TPackageIcons() {
    // The window may outlive this: it goes back to its class's icons first.
    if (FBig) SendMessageW(FWindow, WM_SETICON, ICON_BIG, 0);
    if (FSmall) SendMessageW(FWindow, WM_SETICON, ICON_SMALL, 0);
    if (FBig) DestroyIcon(FBig);
    if (FSmall) DestroyIcon(FSmall);
  }

 private:
  HWND FWindow;
  HICON FBig = nullptr;
  HICON FSmall = nullptr;
};

// The application's URL schemes and file types, for the user, so that links and files opened in
// a browser or Explorer start it; the shell hears of it only when something changed.
void RegisterDesktopClasses(const startup::TExeZipLoader& startup, platform::ISystem& system) {
  std::vector<std::string> problems;  // the packer has told the author; left out here
  const config::TDesktopConfig desktop = config::ReadDesktopConfig(*startup.ProjectINI, problems);
  const std::string exePath = system.ExecutablePath();
  if ((desktop.Schemes.empty() && desktop.FileTypes.empty()) || exePath.empty()) return;
  platform::TWin32RegistryValueStore userRoot;
  if (startup::RegisterDesktopClasses(userRoot, desktop, startup.AppID, startup.AppName, exePath) >
      0)
    platform::TWin32Shell::NotifyAssociationsChanged();
}

int RunMainWindow(startup::TExeZipLoader& startup, IRuntimeWebViews& webViews,
                  platform::ISystem& system, platform::IStyleManager& styles,
                  platform::IDialogs& dialogs, HINSTANCE instance, update::TRuntimeUpdates& updates,
                  bool& restartIntoUpdate) {
  platform::win32::TWin32MainWindow window(instance);
  const TPackageIcons icons(*startup.ExeZip, window.Handle());
  platform::win32::TWin32BrowserFormView browserView(window, webViews.Factory());
  // The file dialogs are COM objects of this, the user-interface thread.
  platform::TWin32FileDialogs fileDialogs;
  platform::TWin32Shell shell;
  platform::TWin32WindowList windowList;
  platform::TWin32Session session;
  platform::TWin32Network network;
  platform::TWin32RegistryValueStore valueStore;
  platform::win32::TWin32FileSystem fileSystem;
  platform::win32::TWin32MainMenuBar mainMenu(window.Handle());
  platform::win32::TWin32MenuImageDecoder menuImages;
  platform::win32::TWin32TrayIcon trayIcon(instance);
  // Toasts where the system has them, else balloons of the tray icon.
  platform::win32::TWin32Notifications notifications(startup.AppID, startup.AppName, &trayIcon);
  // Updates download through WinHTTP; they outlive the main form.
  platform::win32::TWin32HttpClient http;
  const std::unique_ptr<update::TUpdater> updater = updates.MakeUpdater(*startup.ProjectINI, &http);
  browser::TMainForm mainForm(
      window, browserView, webViews.Loader(), system,
      {startup.ExeZip.get(), startup.ProjectINI.get(), startup.AppID, startup.AppName,
       startup.AppDirName, startup.AppIndexHtml, &fileDialogs, &shell, &windowList, &session,
       &network, &notifications, &valueStore, &styles, &fileSystem, &dialogs});
  window.SetEvents(&mainForm);
  mainForm.FormCreate();
  // Before the message loop runs, so before any page can call the menu functions.
  mainForm.BrowserExternalModule()->ExternalForm().SetPlatform({&mainMenu, &trayIcon, &menuImages});
  mainForm.BrowserExternalModule()->SetUpdater(updater.get());
  // A new version's first start has come up once its page has loaded.
  mainForm.BrowserForm()->OnDOMContentLoaded = [&] { updates.PageLoaded(*startup.ProjectINI); };
  // A later start's arguments (a link, a file) bring this window forward and reach the page.
  std::optional<platform::TLaterStartsListener> laterStarts;
  if (startup.HoldsInstanceLock) {
    laterStarts.emplace(system, startup.AppID, [&mainForm](std::vector<std::string> arguments) {
      mainForm.LaterStartArrived(arguments);
    });
  }
  window.Show();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // The question about a page that does not answer is a dialog that does not block.
    if (platform::TWin32Dialogs::IsModelessMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  window.SetEvents(nullptr);
  restartIntoUpdate = updater && updater->RestartPending();
  return 0;
}

}  // namespace

int RunVellocRuntime(HINSTANCE instance, const TRuntimeWebViewsMaker& makeWebViews) {
  // The web view and the file dialogs are COM objects of this, the user-interface thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  int exitCode = 0;
  {
    platform::TWin32System system;
    platform::win32::TWin32UpdateFiles updateFiles(system);
    update::TRuntimeUpdates updates(updateFiles, updateFiles, system.ExecutablePath(),
                                    system.Arguments());
    bool restartIntoUpdate = false;
    platform::TWin32Dialogs dialogs;
    platform::win32::TWin32StyleEngine styleEngine;
    bridge::TStyleManager styles(styleEngine, dialogs, bridge::BuiltinStyles());
    const std::unique_ptr<IRuntimeWebViews> webViews = makeWebViews();
    platform::win32::TWin32ModuleFile moduleFile;
    platform::win32::TWin32PasswordForm passwordForm;
    platform::win32::TWin32RuntimeInstaller installer;
    startup::TExeZipLoader startup(
        {system, dialogs, styles, webViews->Loader(), moduleFile, passwordForm, installer});

    try {
      if (!updates.AtStart()) {
        // The previous version is back and has been started.
      } else if (const auto end = startup.LoadExeZip()) {
        updates.StartupEnded(startup.PasswordRefused);
        exitCode = *end;
      } else if (const auto later = startup.ApplySingleInstanceRule()) {
        exitCode = *later;
      } else {
        RegisterDesktopClasses(startup, system);
        exitCode = RunMainWindow(startup, *webViews, system, styles, dialogs, instance, updates,
                                 restartIntoUpdate);
      }
    } catch (const std::exception& error) {
      platform::ShowApplicationError(error.what());
      exitCode = 1;
    }
    startup.UnloadExeZip();
    if (restartIntoUpdate) {
      // The new process must find the instance lock free.
      system.ReleaseInstanceLock();
      try {
        updates.AtEnd(true);
      } catch (const std::exception& error) {
        platform::ShowApplicationError(error.what());
        exitCode = 1;
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}

}  // namespace velloc::runtime::win32
