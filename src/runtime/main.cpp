// velloc-runtime: the program entry. Start-up opens the package behind this executable; then the
// single-instance rule, the main window and the message loop.
#include <exception>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "browser/MainForm.h"
#include "platform/gtk/GtkBrowserFormView.h"
#include "platform/gtk/GtkDialogs.h"
#include "platform/gtk/GtkFileDialogs.h"
#include "platform/gtk/GtkMainWindow.h"
#include "platform/gtk/GtkPasswordForm.h"
#include "platform/gtk/GtkRuntimeInstaller.h"
#include "platform/gtk/GtkStyles.h"
#include "platform/gtk/WebKitLoader.h"
#include "platform/linux/LinuxSystem.h"
#include "startup/ExeZipLoader.h"

namespace {

using namespace velloc;

int RunMainWindow(startup::TExeZipLoader& startup, platform::gtk::TWebKitLoader& loader,
                  platform::ISystem& system) {
  platform::gtk::TGtkMainWindow window;
  platform::gtk::TGtkBrowserFormView browserView(window.ContentBox(), loader);
  platform::gtk::TGtkFileDialogs fileDialogs;
  browser::TMainForm mainForm(
      window, browserView, loader, system,
      {startup.ExeZip.get(), startup.ProjectINI.get(), startup.AppID, startup.AppName,
       startup.AppDirName, startup.AppIndexHtml, &fileDialogs});
  window.SetEvents(&mainForm);
  mainForm.FormCreate();
  window.Show();
  gtk_main();
  window.SetEvents(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // GTK reads only the program name: the application's own arguments are the page's to read.
  int gtkArgc = 1;
  char** gtkArgv = argv;
  const bool hasDisplay = gtk_init_check(&gtkArgc, &gtkArgv) != FALSE;

  platform::TLinuxSystem system(std::vector<std::string>(argv + 1, argv + argc));
  platform::gtk::TGtkDialogs dialogs(hasDisplay);
  platform::gtk::TGtkStyleManager styles(dialogs);
  platform::gtk::TWebKitLoader loader;
  platform::gtk::TGtkPasswordForm passwordForm(hasDisplay);
  platform::gtk::TGtkRuntimeInstaller installer(hasDisplay);
  startup::TExeZipLoader startup({system, dialogs, styles, loader, passwordForm, installer});

  int exitCode = 0;
  try {
    if (const auto end = startup.LoadExeZip()) {
      exitCode = *end;
    } else if (startup.ApplySingleInstanceRule()) {
      if (!hasDisplay) throw std::runtime_error("Cannot open the display");
      exitCode = RunMainWindow(startup, loader, system);
    }
  } catch (const std::exception& error) {
    platform::gtk::ShowApplicationError(error.what());
    exitCode = 1;
  }
  startup.UnloadExeZip();
  return exitCode;
}
