// The main window: builds the browser form and the bridge module, applies the configured
// geometry and style, picks the start page, and runs the close protocol under which the page
// decides whether the application may close.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/ZipArchive.h"
#include "bridge/BrowserExternalModule.h"
#include "browser/BrowserForm.h"
#include "config/ProjectIni.h"
#include "platform/Window.h"

namespace velloc::browser {

// What start-up hands to the main window.
struct TMainFormStartup {
  archive::TZipArchive* ExeZip = nullptr;
  const config::TProjectIni* ProjectINI = nullptr;
  std::string AppID;
  std::string AppName;
  std::string AppDirName;
  std::string AppIndexHtml;
  platform::IFileDialogs* FileDialogs = nullptr;  // the bridge's file and folder dialogs
  // The desktop services of the shell and system functions.
  platform::IShell* Shell = nullptr;
  platform::IWindowList* WindowList = nullptr;
  platform::ISession* Session = nullptr;
  platform::INetwork* Network = nullptr;
  platform::INotifications* Notifications = nullptr;
  platform::IValueStore* ValueStore = nullptr;  // the registry functions' store
  platform::IStyleManager* Styles = nullptr;    // the themes functions' style manager
  platform::IFileSystem* FileSystem = nullptr;  // the file and folder functions' file system
  // The development server of `velloc run --url`, shown instead of the start page, and its
  // origin, whose pages count as the application's (empty outside such a session).
  std::string DevelopmentUrl = {};
  std::string DevelopmentOrigin = {};
};

// Size limits where a maximum below the minimum lowers the minimum, and a minimum above the
// maximum raises the maximum; 0 means no limit.
class TSizeLimits {
 public:
  void SetMaxWidth(int value);
  void SetMaxHeight(int value);
  void SetMinWidth(int value);
  void SetMinHeight(int value);
  const platform::TSizeConstraints& Constraints() const { return FLimits; }

 private:
  platform::TSizeConstraints FLimits;
};

class TMainForm final : public platform::IMainWindowEvents {
 public:
  TMainForm(platform::IMainWindow& window, platform::IBrowserFormView& browserView,
            platform::IWebViewLoader& loader, platform::ISystem& system, TMainFormStartup startup);
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;
  ~TMainForm() override;

  // Runs once while the window is constructed and before it is first shown.
  void FormCreate();
  bool FormCloseQuery() override;
  void FormClose() override;
  // The page asked to close: closing is allowed from now on.
  void AppCloseRequest();
  void BrowserDocumentTitleChanged();
  // A later start of the application (single instance) handed over its arguments: the window
  // comes forward and the page hears of it through vlx.events.onSecondInstance.
  void LaterStartArrived(const std::vector<std::string>& arguments);

  bool CanClose() const { return FCanClose; }
  TBrowserForm* BrowserForm() const { return FBrowserForm.get(); }
  bridge::TBrowserExternalModule* BrowserExternalModule() const {
    return FBrowserExternalModule.get();
  }

 private:
  platform::IMainWindow& FWindow;
  platform::IBrowserFormView& FBrowserView;
  platform::IWebViewLoader& FLoader;
  platform::ISystem& FSystem;
  TMainFormStartup FStartup;
  bool FCanClose = false;
  std::unique_ptr<TBrowserForm> FBrowserForm;
  std::unique_ptr<bridge::TBrowserExternalModule> FBrowserExternalModule;
};

}  // namespace velloc::browser
