// The runtime side of the page bridge: receives the web messages of `window.vlx`, runs the
// handler of each function identifier and posts its reply back to the page.
//
// Platform-neutral: the web view backend hands every message over as a TWebMessage and supplies
// the way back to the frame that sent it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <rapidjson/document.h>

#include "archive/ZipArchive.h"
#include "config/ProjectIni.h"
#include "platform/FileDialogs.h"
#include "platform/FileSystem.h"
#include "platform/Network.h"
#include "platform/Notifications.h"
#include "platform/Session.h"
#include "platform/Shell.h"
#include "platform/Styles.h"
#include "platform/System.h"
#include "platform/ValueStore.h"
#include "platform/WebView.h"
#include "platform/Window.h"
#include "update/Updater.h"

namespace velloc::bridge {

// The browser form as the bridge functions reach it.
class IBridgeBrowserForm {
 public:
  virtual ~IBridgeBrowserForm() = default;
  // The web view, or null while it does not exist.
  virtual platform::IWebView* Browser() const = 0;
  // FStartPageURL: where the web view goes once it is created.
  virtual void SetStartPageURL(const std::string& url) = 0;
  virtual void InitializeBrowser() = 0;
  // The executable's folder, with a trailing separator: relative page paths resolve against it.
  virtual std::string AppDirPath() const = 0;
};

// The parsed `data` object of a call (and any JSON value below it).
using TJsonValue = rapidjson::Value;

// One web message from a page, as the web view backend delivers it: its JSON text, the URI of
// the document (frame) that posted it, and the way back to that frame.
using TWebMessage = platform::TWebMessageEvent;

// An argument member that does not convert (an object or array where text is expected, or a
// text that is no boolean). Raised inside a handler, it ends the message without a reply.
class EBridgeArgError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why a message ended without a reply where the page might have expected one.
enum class TBridgeFault {
  ForeignSource,     // posted by a document outside the application: dropped unread
  MalformedMessage,  // not JSON, root not an object, or id, uuid or data missing or of wrong kind
  HandlerError,      // the handler raised an error
  StrayReply,        // a reply posted while no message was being dispatched
};

class TBrowserExternalModule;
class TBrowserExternalForm;

// A bridge function: the module, the caller's uuid and the call's `data` object (valid only
// during the call; keep no references into it).
using THandler = std::function<void(TBrowserExternalModule& module, const std::string& uuid,
                                    const TJsonValue& data)>;
using THandlerFunction = void(TBrowserExternalModule& module, const std::string& uuid,
                              const TJsonValue& data);

// One row of the function-identifier table.
struct TBridgeFunction {
  std::int32_t Id;
  std::string_view ScriptName;  // the `window.vlx` member that sends it
  THandlerFunction* Handler;
};

// The reply of a handler that answers after it has returned (a command that runs on, a desktop
// service that answers later). It goes to the frame that asked, at most once; once the module is
// gone it is dropped.
class TDeferredReply {
 public:
  TDeferredReply() = default;
  void Success(std::string_view result) const { Post(result, true); }
  void Failure(std::string_view result) const { Post(result, false); }

 private:
  friend class TBrowserExternalModule;
  struct TState {
    std::weak_ptr<void> ModuleAlive;
    std::string Uuid;
    std::function<void(std::string_view json)> Reply;
    bool Sent = false;
  };
  void Post(std::string_view result, bool success) const;
  std::shared_ptr<TState> FState;
};

class TBrowserExternalModule {
 public:
  using TFaultCallback = std::function<void(TBridgeFault fault, std::string_view detail)>;

  TBrowserExternalModule();
  ~TBrowserExternalModule();
  TBrowserExternalModule(const TBrowserExternalModule&) = delete;
  TBrowserExternalModule& operator=(const TBrowserExternalModule&) = delete;

  // Handles one web message: only documents of the application ("vlx:" and "file:") are
  // answered; the message is parsed, its id selects the handler, and the handler replies.
  // Never throws: a malformed message or a handler error ends the message without a reply
  // and is reported through the fault callback. Re-entrant: a handler that runs a nested
  // main loop may see further messages dispatched before it returns.
  void BrowserWebMessageReceived(const TWebMessage& message);

  // Replies to the message being dispatched. `result` must be complete JSON text.
  void PostReply(std::string_view uuid, std::string_view result, bool success);
  void ReplySuccess(std::string_view uuid, std::string_view result);
  void ReplyFailure(std::string_view uuid, std::string_view result);
  // For a handler that answers later: the way back to the frame of the message being
  // dispatched. Outside a dispatch the reply goes nowhere (a stray reply).
  TDeferredReply DeferReply(std::string_view uuid);
  // The reply envelope posted to the page.
  static std::string FormatReply(std::string_view uuid, std::string_view result, bool success);

  // Argument reading. Member names match exactly; of two equal names the first counts.
  // A number yields the text it was written with, true/false yield "true"/"false".
  // An object or array raises EBridgeArgError.
  static std::string GetArgString(const TJsonValue& data, std::string_view name,
                                  std::string_view defaultValue);
  // Booleans as they are; texts and numbers by the boolean text rule; other texts, objects and
  // arrays raise EBridgeArgError.
  static bool GetArgBool(const TJsonValue& data, std::string_view name, bool defaultValue);
  // False (value empty) when the member is absent or does not convert; null is found, empty.
  static bool TryGetArgString(const TJsonValue& data, std::string_view name, std::string& value);

  // True for the documents the bridge answers: the package scheme "vlx:" and "file:", and the
  // development server's documents in its session.
  bool IsApplicationDocument(std::string_view uri) const;
  // The development server's origin (`velloc run --url`), whose documents are the
  // application's in this session.
  void SetDevelopmentOrigin(std::string origin) { FDevelopmentOrigin = std::move(origin); }

  // The complete function-identifier table, in identifier order.
  static std::span<const TBridgeFunction> FunctionTable();

  // True while the main window is in its borderless, maximized mode.
  bool InFullscreen() const { return FInFullscreen; }
  void SetInFullscreen(bool value) { FInFullscreen = value; }

  // Fired by vlx.app.close; the main window sets it.
  const std::function<void()>& OnAppCloseRequest() const { return FOnAppCloseRequest; }
  void SetOnAppCloseRequest(std::function<void()> callback) {
    FOnAppCloseRequest = std::move(callback);
  }

  // Where faults go. Without a callback they are written to standard error.
  void SetOnFault(TFaultCallback callback) { FOnFault = std::move(callback); }
  std::size_t FaultCount(TBridgeFault fault) const;

  bool HasHandler(std::int32_t id) const { return FHandlers.contains(id); }
  // Replaces the handler of an identifier of the table (false for any other identifier). For
  // tests, and for a backend that wraps a handler.
  bool ReplaceHandler(std::int32_t id, THandler handler);

  // What the functions act on. The main window sets these before the web view exists; none is
  // owned by the module.
  platform::IMainWindow* MainForm() const { return FMainForm; }
  void SetMainForm(platform::IMainWindow* mainForm) { FMainForm = mainForm; }
  IBridgeBrowserForm* BrowserForm() const { return FBrowserForm; }
  void SetBrowserForm(IBridgeBrowserForm* browserForm) { FBrowserForm = browserForm; }
  archive::TZipArchive* ExeZip() const { return FExeZip; }
  void SetExeZip(archive::TZipArchive* exeZip) { FExeZip = exeZip; }
  const config::TProjectIni* ProjectINI() const { return FProjectINI; }
  void SetProjectINI(const config::TProjectIni* projectIni) { FProjectINI = projectIni; }
  platform::ISystem* System() const { return FSystem; }
  void SetSystem(platform::ISystem* system) { FSystem = system; }
  platform::IFileDialogs* FileDialogs() const { return FFileDialogs; }
  void SetFileDialogs(platform::IFileDialogs* dialogs) { FFileDialogs = dialogs; }
  platform::IFileSystem* FileSystem() const { return FFileSystem; }
  void SetFileSystem(platform::IFileSystem* fileSystem) { FFileSystem = fileSystem; }
  platform::IShell* Shell() const { return FShell; }
  void SetShell(platform::IShell* shell) { FShell = shell; }
  platform::IWindowList* WindowList() const { return FWindowList; }
  void SetWindowList(platform::IWindowList* windowList) { FWindowList = windowList; }
  platform::ISession* Session() const { return FSession; }
  void SetSession(platform::ISession* session) { FSession = session; }
  platform::INetwork* Network() const { return FNetwork; }
  void SetNetwork(platform::INetwork* network) { FNetwork = network; }
  // NotificationCenter: its clicks raise vlx.events.onNotificationClick in the page.
  platform::INotifications* NotificationCenter() const { return FNotificationCenter; }
  void SetNotificationCenter(platform::INotifications* notifications);
  void NotificationCenterReceiveLocalNotification(const std::string& name);
  // The script that raises the click event with that name in the page.
  static std::string NotificationClickScript(std::string_view name);
  // The user's value store of the registry functions.
  platform::IValueStore* ValueStore() const { return FValueStore; }
  void SetValueStore(platform::IValueStore* store) { FValueStore = store; }
  // The process-wide style manager of the themes functions.
  platform::IStyleManager* Styles() const { return FStyles; }
  void SetStyles(platform::IStyleManager* styles) { FStyles = styles; }
  // Whether the tray icon is shown: a minimized window then lives on in the tray. Asks the
  // external form unless a query was set.
  bool TrayIconVisible() const;
  void SetTrayIconVisible(std::function<bool()> query) { FTrayIconVisible = std::move(query); }
  // The application's updates (vlx.app.checkForUpdate, installUpdate); null where the platform
  // has none.
  update::TUpdater* Updater() const { return FUpdater; }
  void SetUpdater(update::TUpdater* updater) { FUpdater = updater; }
  // Raises vlx.events.onUpdateProgress in the page.
  void UpdateProgress(std::uint64_t received, std::uint64_t total);
  // Expires with the module: callbacks that may come later check it first.
  std::weak_ptr<void> AliveToken() const { return FAlive; }
  // The invisible form holding the main menu, the tray icon and the tray menu.
  TBrowserExternalForm& ExternalForm() const { return *FExternalForm; }

 private:
  void Fault(TBridgeFault fault, std::string_view detail);

  std::unordered_map<std::int32_t, THandler> FHandlers;
  // The messages being dispatched, innermost last: a reply goes to the frame of the innermost.
  std::vector<const TWebMessage*> FDispatching;
  bool FInFullscreen = false;
  std::string FDevelopmentOrigin;
  std::function<void()> FOnAppCloseRequest;
  platform::IMainWindow* FMainForm = nullptr;
  IBridgeBrowserForm* FBrowserForm = nullptr;
  archive::TZipArchive* FExeZip = nullptr;
  const config::TProjectIni* FProjectINI = nullptr;
  platform::ISystem* FSystem = nullptr;
  platform::IFileDialogs* FFileDialogs = nullptr;
  platform::IValueStore* FValueStore = nullptr;
  platform::IStyleManager* FStyles = nullptr;
  std::function<bool()> FTrayIconVisible;
  platform::IFileSystem* FFileSystem = nullptr;
  platform::IShell* FShell = nullptr;
  platform::IWindowList* FWindowList = nullptr;
  platform::ISession* FSession = nullptr;
  platform::INetwork* FNetwork = nullptr;
  platform::INotifications* FNotificationCenter = nullptr;
  update::TUpdater* FUpdater = nullptr;
  // Expires with the module, so that deferred replies arriving later are dropped.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
  std::unique_ptr<TBrowserExternalForm> FExternalForm;
  TFaultCallback FOnFault;
  std::array<std::size_t, 4> FFaultCounts{};
};

}  // namespace velloc::bridge
