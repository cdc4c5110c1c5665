// The main window: builds the browser form and the bridge module, applies the configured
// geometry and style, picks the start page, and runs the close protocol under which the page
// decides whether the application may close.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipArchive.h"
#include "bridge/BrowserExternalModule.h"
#include "browser/BrowserForm.h"
#include "config/ProjectIni.h"
#include "platform/Dialogs.h"
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
  // The localized error when the web view cannot be made.
  platform::IDialogs* Dialogs = nullptr;
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
  // The web view cannot be made: the start-up error in the user's language, then an orderly end.
  void BrowserFailed();
  // A later start of the application (single instance) handed over its arguments: the window
  // comes forward and the page hears of it through vlx.events.onSecondInstance. The arguments
  // (files, a link that may carry a sign-in code) are for the application's documents alone:
  // while the window shows another, they wait for the next application document.
  void LaterStartArrived(const std::vector<std::string>& arguments);

  bool CanClose() const { return FCanClose; }
  // Later starts waiting for an application document, the oldest left out beyond this many.
  static constexpr std::size_t kMaxWaitingLaterStarts = 8;
  std::size_t WaitingLaterStarts() const { return FLaterStarts.size(); }
  TBrowserForm* BrowserForm() const { return FBrowserForm.get(); }
  bridge::TBrowserExternalModule* BrowserExternalModule() const {
    return FBrowserExternalModule.get();
  }

 private:
  // Hands the waiting later starts to the page, if it is the application's.
  void DeliverLaterStarts();

  platform::IMainWindow& FWindow;
  platform::IBrowserFormView& FBrowserView;
  platform::IWebViewLoader& FLoader;
  platform::ISystem& FSystem;
  TMainFormStartup FStartup;
  bool FCanClose = false;
  std::unique_ptr<TBrowserForm> FBrowserForm;
  std::unique_ptr<bridge::TBrowserExternalModule> FBrowserExternalModule;
  std::deque<std::vector<std::string>> FLaterStarts;
};

}  // namespace velloc::browser
