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
#include "platform/System.h"
#include "platform/WebView.h"
#include "platform/Window.h"

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

  // True for the documents the bridge answers: the package scheme "vlx:" and "file:".
  static bool IsApplicationDocument(std::string_view uri);

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
  // Whether the tray icon is shown: a minimized window then lives on in the tray. Asks the
  // external form unless a query was set.
  bool TrayIconVisible() const;
  void SetTrayIconVisible(std::function<bool()> query) { FTrayIconVisible = std::move(query); }
  // The invisible form holding the main menu, the tray icon and the tray menu.
  TBrowserExternalForm& ExternalForm() const { return *FExternalForm; }

 private:
  void Fault(TBridgeFault fault, std::string_view detail);

  std::unordered_map<std::int32_t, THandler> FHandlers;
  // The messages being dispatched, innermost last: a reply goes to the frame of the innermost.
  std::vector<const TWebMessage*> FDispatching;
  bool FInFullscreen = false;
  std::function<void()> FOnAppCloseRequest;
  platform::IMainWindow* FMainForm = nullptr;
  IBridgeBrowserForm* FBrowserForm = nullptr;
  archive::TZipArchive* FExeZip = nullptr;
  const config::TProjectIni* FProjectINI = nullptr;
  platform::ISystem* FSystem = nullptr;
  platform::IFileDialogs* FFileDialogs = nullptr;
  std::function<bool()> FTrayIconVisible;
  std::unique_ptr<TBrowserExternalForm> FExternalForm;
  TFaultCallback FOnFault;
  std::array<std::size_t, 4> FFaultCounts{};
};

}  // namespace velloc::bridge
