// velloc-runtime.exe: the program entry on Windows. Start-up opens the package behind this
// executable; then the single-instance rule, the main window and the message loop.
// clang-format off
// First, so that windows.h's renaming macros are gone before any interface is declared.
#include "runtime/win32/InterimServices.h"
// clang-format on

#include <exception>
#include <objbase.h>
#include <string>

#include "bridge/BuiltinStyles.h"
#include "bridge/StyleManager.h"
#include "browser/MainForm.h"
#include "platform/webview2/WebView2Factory.h"
#include "platform/webview2/WebView2Loader.h"
#include "platform/win32/Win32BrowserFormView.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32FileDialogs.h"
#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32RegistryValueStore.h"
#include "platform/win32/Win32RuntimeInstaller.h"
#include "platform/win32/Win32Session.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32WindowList.h"
#include "startup/ExeZipLoader.h"

namespace {

using namespace velloc;

int RunMainWindow(startup::TExeZipLoader& startup, platform::webview2::TWebView2Loader& loader,
                  platform::ISystem& system, platform::IStyleManager& styles, HINSTANCE instance) {
  platform::win32::TWin32MainWindow window(instance);
  platform::webview2::TWebView2Factory webViews(loader);
  platform::win32::TWin32BrowserFormView browserView(window, webViews);
  // The file dialogs are COM objects of this, the user-interface thread.
  platform::TWin32FileDialogs fileDialogs;
  platform::TWin32Shell shell;
  platform::TWin32WindowList windowList;
  platform::TWin32Session session;
  platform::TWin32Network network;
  platform::TWin32RegistryValueStore valueStore;
  // Notifications, menus and the tray have no Windows implementation yet.
  runtime::win32::TNoNotifications notifications;
  browser::TMainForm mainForm(
      window, browserView, loader, system,
      {startup.ExeZip.get(), startup.ProjectINI.get(), startup.AppID, startup.AppName,
       startup.AppDirName, startup.AppIndexHtml, &fileDialogs, &shell, &windowList, &session,
       &network, &notifications, &valueStore, &styles});
  window.SetEvents(&mainForm);
  mainForm.FormCreate();
  window.Show();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  window.SetEvents(nullptr);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The web view and the file dialogs are COM objects of this, the user-interface thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  platform::TWin32System system;
  platform::TWin32Dialogs dialogs;
  runtime::win32::TNativeStyleEngine styleEngine;
  bridge::TStyleManager styles(styleEngine, dialogs, bridge::BuiltinStyles());
  platform::webview2::TWebView2Loader loader;
  runtime::win32::TInterimModuleFile moduleFile;
  runtime::win32::TInterimPasswordForm passwordForm;
  platform::win32::TWin32RuntimeInstaller installer;
  startup::TExeZipLoader startup(
      {system, dialogs, styles, loader, moduleFile, passwordForm, installer});

  int exitCode = 0;
  try {
    if (const auto end = startup.LoadExeZip()) {
      exitCode = *end;
    } else if (startup.ApplySingleInstanceRule()) {
      exitCode = RunMainWindow(startup, loader, system, styles, instance);
    }
  } catch (const std::exception& error) {
    platform::ShowApplicationError(error.what());
    exitCode = 1;
  }
  startup.UnloadExeZip();
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
