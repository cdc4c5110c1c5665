// velloc-runtime: the program entry. Start-up opens the package behind this executable; then the
// single-instance rule, the main window and the message loop.
#include <csignal>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glib-unix.h>
#include <gtk/gtk.h>

#include "bridge/BrowserExternalForm.h"
#include "bridge/BuiltinStyles.h"
#include "bridge/StyleManager.h"
#include "browser/MainForm.h"
#include "package/AppIcon.h"
#include "platform/gtk/GtkAppIcon.h"
#include "platform/gtk/GtkBrowserFormView.h"
#include "platform/gtk/GtkDialogs.h"
#include "platform/gtk/GtkFileDialogs.h"
#include "platform/gtk/GtkFileWatch.h"
#include "platform/gtk/GtkMainMenuBar.h"
#include "platform/gtk/GtkMainWindow.h"
#include "platform/gtk/GtkMenuImageDecoder.h"
#include "platform/gtk/GtkPasswordForm.h"
#include "platform/gtk/GtkRuntimeInstaller.h"
#include "platform/gtk/GtkStyleEngine.h"
#include "platform/gtk/GtkTrayIcon.h"
#include "platform/gtk/GtkWindowList.h"
#include "platform/gtk/WebKitLoader.h"
#include "platform/linux/DBusNotifications.h"
#include "platform/linux/LinuxModuleFile.h"
#include "platform/linux/LinuxNetwork.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxSystem.h"
#include "platform/linux/LogindSession.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixUpdateFiles.h"
#include "platform/linux/SqliteValueStore.h"
#include "startup/ExeZipLoader.h"
#include "update/RuntimeUpdates.h"

namespace {

using namespace velloc;

// `velloc run` has put a new development package where this executable was (a new file renamed
// over the old): it replaces the one in use, whole, or not at all. Requests still being served
// from the old package keep its mapping until they are done.
void ReloadDevelopmentPackage(startup::TExeZipLoader& startup, const std::string& exePath) {
  std::shared_ptr<const platform::TMappedFile> stream = package::TExeUtils(exePath).MapZipFromExe();
  try {
    startup.ExeZip->Stream(stream->Bytes(), stream);
  } catch (...) {
    startup.ExeZip->Stream(startup.ExeZipStream->Bytes(), startup.ExeZipStream);
    throw;
  }
  startup.ExeZipStream = std::move(stream);
}

// Ended by a signal (the session ends, Ctrl+C in a terminal): the page's console commands, in
// sessions of their own, end too; then the process ends as the signal would have ended it.
template <int Signal>
gboolean EndBySignal(gpointer shell) {
  static_cast<platform::TLinuxShell*>(shell)->EndCommands();
  ::signal(Signal, SIG_DFL);
  ::raise(Signal);
  return G_SOURCE_REMOVE;
}

int RunMainWindow(startup::TExeZipLoader& startup, platform::gtk::TWebKitLoader& loader,
                  platform::ISystem& system, platform::IStyleManager& styles,
                  platform::IDialogs& dialogs, update::TRuntimeUpdates& updates,
                  bool& restartIntoUpdate) {
  std::vector<std::uint8_t> icon;
  const int iconIndex = startup.ExeZip->FindFile(package::kAppIconEntry);
  if (iconIndex >= 0 &&
      startup.ExeZip->Entry(iconIndex).UncompressedSize <= package::kMaxAppIconBytes) {
    startup.ExeZip->ExtractToStream(package::kAppIconEntry, icon);
  }
  platform::gtk::SetDefaultWindowIcon(icon);
  platform::gtk::TGtkMainWindow window;
  platform::gtk::TGtkBrowserFormView browserView(window.ContentBox(), loader);
  platform::gtk::TGtkFileDialogs fileDialogs;
  platform::gtk::TGtkMainMenuBar mainMenu(window.ContentBox());
  platform::gtk::TGtkMenuImageDecoder menuImages;
  platform::gtk::TGtkTrayIcon trayIcon(startup.AppID);
  platform::TLinuxShell shell;
  platform::TPosixFileSystem fileSystem;
  platform::gtk::TGtkWindowList windowList;
  platform::TLogindSession session;
  platform::TLinuxNetwork network;
  platform::TDBusNotifications notifications(startup.AppName, "");
  // Opened by the first registry call, not here.
  platform::TSqliteValueStore valueStore(platform::TSqliteValueStore::DefaultPath());
  // Updates download through the WebKit module's libsoup; they outlive the main form.
  const std::unique_ptr<platform::IHttpClient> http =
      loader.Module() ? loader.Module()->CreateHttpClient() : nullptr;
  const std::unique_ptr<update::TUpdater> updater =
      updates.MakeUpdater(*startup.ProjectINI, http.get());
  browser::TMainForm mainForm(
      window, browserView, loader, system,
      {startup.ExeZip.get(), startup.ProjectINI.get(), startup.AppID, startup.AppName,
       startup.AppDirName, startup.AppIndexHtml, &fileDialogs, &shell, &windowList, &session,
       &network, &notifications, &valueStore, &styles, &fileSystem, &dialogs,
       startup.DevelopmentUrl, startup.DevelopmentOrigin});
  window.SetEvents(&mainForm);
  mainForm.FormCreate();
  // Before the main loop runs, so before any page can call the menu functions.
  mainForm.BrowserExternalModule()->ExternalForm().SetPlatform({&mainMenu, &trayIcon, &menuImages});
  mainForm.BrowserExternalModule()->SetUpdater(updater.get());
  // A new version's first start has come up once its page has loaded.
  mainForm.BrowserForm()->OnDOMContentLoaded = [&] { updates.PageLoaded(*startup.ProjectINI); };
  // A development package reloads the page whenever `velloc run` replaces the executable; the
  // page of a development server is the server's to reload (its hot reload keeps the state).
  std::unique_ptr<platform::gtk::TGtkFileWatch> packageWatch;
  if (startup.Development) {
    const std::string exePath = system.ExecutablePath();
    packageWatch = std::make_unique<platform::gtk::TGtkFileWatch>(exePath, [&, exePath] {
      ReloadDevelopmentPackage(startup, exePath);
      if (!startup.DevelopmentUrl.empty()) return;
      if (browser::TBrowserForm* form = mainForm.BrowserForm()) {
        if (platform::IWebView* browser = form->Browser()) browser->Reload();
      }
    });
  }
  const guint signalSources[] = {g_unix_signal_add(SIGTERM, EndBySignal<SIGTERM>, &shell),
                                 g_unix_signal_add(SIGINT, EndBySignal<SIGINT>, &shell),
                                 g_unix_signal_add(SIGHUP, EndBySignal<SIGHUP>, &shell)};
  std::optional<platform::TLaterStartsListener> laterStarts;
  if (startup.HoldsInstanceLock) {
    laterStarts.emplace(system, startup.AppID, [&mainForm](std::vector<std::string> arguments) {
      mainForm.LaterStartArrived(arguments);
    });
  }
  window.Show();
  gtk_main();
  for (const guint source : signalSources)
    g_source_remove(source);
  packageWatch.reset();
  window.SetEvents(nullptr);
  restartIntoUpdate = updater && updater->RestartPending();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // GTK reads only the program name: the application's own arguments are the page's to read.
  int gtkArgc = 1;
  char** gtkArgv = argv;
  const bool hasDisplay = gtk_init_check(&gtkArgc, &gtkArgv) != FALSE;

  platform::TLinuxSystem system(std::vector<std::string>(argv + 1, argv + argc));
  // GTK took its window class from the executable's name at start; the application's ID is
  // what launchers, task bars and the desktop file's StartupWMClass know it by.
  system.OnApplicationId = [](const std::string& appId) { gdk_set_program_class(appId.c_str()); };
  platform::gtk::TGtkDialogs dialogs(hasDisplay);
  platform::gtk::TGtkStyleEngine styleEngine;
  bridge::TStyleManager styles(styleEngine, dialogs, bridge::BuiltinStyles());
  platform::gtk::TWebKitLoader loader;
  platform::TLinuxModuleFile moduleFile;
  platform::gtk::TGtkPasswordForm passwordForm(hasDisplay);
  platform::gtk::TGtkRuntimeInstaller installer(hasDisplay);
  startup::TExeZipLoader startup(
      {system, dialogs, styles, loader, moduleFile, passwordForm, installer});

  platform::TPosixUpdateFiles updateFiles;
  update::TRuntimeUpdates updates(updateFiles, updateFiles, system.ExecutablePath(),
                                  system.Arguments());
  int exitCode = 0;
  bool restartIntoUpdate = false;
  try {
    if (!updates.AtStart()) return 0;
    if (const auto end = startup.LoadExeZip()) {
      updates.StartupEnded(startup.PasswordRefused);
      exitCode = *end;
    } else if (const auto later = startup.ApplySingleInstanceRule()) {
      exitCode = *later;
    } else {
      if (!hasDisplay) throw std::runtime_error("Cannot open the display");
      exitCode =
          RunMainWindow(startup, loader, system, styles, dialogs, updates, restartIntoUpdate);
      // The web view went with the window: let WebKit finish with it (it then ends the web
      // process at once) instead of leaving the web process to notice our exit and wind the page
      // down by itself, which took it 150-250 ms more.
      for (int i = 0; i < 100 && g_main_context_iteration(nullptr, FALSE); ++i) {
      }
    }
  } catch (const std::exception& error) {
    platform::gtk::ShowApplicationError(error.what());
    exitCode = 1;
  }
  startup.UnloadExeZip();
  try {
    updates.AtEnd(restartIntoUpdate);
  } catch (const std::exception& error) {
    platform::gtk::ShowApplicationError(error.what());
    exitCode = 1;
  }
  return exitCode;
}
