// In-memory fakes of the platform interfaces for headless tests. Each records what the core
// asked of it and answers from fields a test sets.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/BrowserFormView.h"
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "platform/Styles.h"
#include "platform/System.h"
#include "platform/WebView.h"
#include "platform/WebViewLoader.h"
#include "platform/Window.h"

namespace velloc::platform::fake {

class TFakeSystem : public ISystem {
 public:
  std::string Executable = "/opt/app/app";
  std::vector<std::string> Args;
  std::string LocalAppData = "/home/user/.local/share/";
  std::map<std::string, std::vector<std::uint8_t>> Files;  // what CreateNewFile wrote
  std::vector<std::string> Folders;                        // what ForceDirectories made
  std::map<std::string, std::string> Environment;
  TInstanceLockResult LockResult = TInstanceLockResult::Created;
  std::vector<std::string> LockNames;
  std::vector<std::vector<std::string>> Started;
  std::string Temp = "/tmp/", Documents = "/home/user/Documents/", Desktop = "/home/user/Desktop/",
              Roaming = "/home/user/.config/";
  char Decimal = '.';

  std::string ExecutablePath() const override { return Executable; }
  std::vector<std::string> Arguments() const override { return Args; }
  std::string LocalAppDataDirPath() const override { return LocalAppData; }
  char PathSeparator() const override { return '/'; }
  bool FileExists(const std::string& path) const override { return Files.contains(path); }
  bool ForceDirectories(const std::string& path) override {
    Folders.push_back(path);
    return true;
  }
  bool CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) override {
    return Files.emplace(path, bytes).second;
  }
  std::string EnvironmentVariable(const std::string& name) const override {
    const auto found = Environment.find(name);
    return found == Environment.end() ? std::string() : found->second;
  }
  void SetEnvironmentVariable(const std::string& name, const std::string& value) override {
    Environment[name] = value;
  }
  void RemoveEnvironmentVariable(const std::string& name) override { Environment.erase(name); }
  TInstanceLockResult CreateInstanceLock(const std::string& name) override {
    LockNames.push_back(name);
    return LockResult;
  }
  bool StartProcess(const std::string& executable,
                    const std::vector<std::string>& arguments) override {
    std::vector<std::string> line{executable};
    line.insert(line.end(), arguments.begin(), arguments.end());
    Started.push_back(std::move(line));
    return true;
  }
  std::string TempDir() const override { return Temp; }
  std::string UserDocumentsDir() const override { return Documents; }
  std::string UserDesktopDir() const override { return Desktop; }
  std::string RoamingAppDataDir() const override { return Roaming; }
  char DecimalSeparator() const override { return Decimal; }
};

struct TDialogCall {
  std::string Message;
  TMsgDlgType Kind;
  std::vector<TMsgDlgBtn> Buttons;
  std::vector<std::string> Captions;
  std::string Title;
};

class TFakeDialogs : public IDialogs {
 public:
  std::vector<TDialogCall> Calls;
  int Result = mrOk;

  int MessageDlg(const std::string& message, TMsgDlgType kind,
                 const std::vector<TMsgDlgBtn>& buttons, const std::vector<std::string>& captions,
                 const std::string& title) override {
    Calls.push_back({message, kind, buttons, captions, title});
    return Result;
  }
  void ShowMessage(const std::string& title, const std::string& message, bool error) override {
    Calls.push_back({message,
                     error ? TMsgDlgType::Error : TMsgDlgType::Information,
                     {TMsgDlgBtn::OK},
                     {},
                     title});
  }
};

class TFakeStyles : public IStyleManager {
 public:
  std::vector<std::string> Requests;
  std::string Active = kSystemStyleName;
  bool MenusExcluded = false;

  bool TrySetStyle(const std::string& name, bool /*showError*/) override {
    Requests.push_back(name);
    return name == kSystemStyleName;
  }
  std::string ActiveStyle() const override { return Active; }
  std::vector<std::string> StyleNames() const override { return {kSystemStyleName}; }
  void ExcludeMenusFromStyling() override { MenusExcluded = true; }
};

class TFakeWebViewLoader : public IWebViewLoader {
 public:
  bool Installed = true;
  bool IsInitialized = true;
  std::string Error;
  std::vector<std::string> Checked, Started;
  std::string DevelopmentOrigin;

  bool CheckEdgeIsInstalled(const std::string& path) override {
    Checked.push_back(path);
    return Installed;
  }
  void StartWebView2(const std::string& path) override { Started.push_back(path); }
  void SetDevelopmentOrigin(const std::string& origin) override { DevelopmentOrigin = origin; }
  bool Initialized() const override { return IsInitialized; }
  bool InitializationError() const override { return !Error.empty(); }
  std::string ErrorMessage() const override { return Error; }
};

class TFakeWebView : public IWebView {
 public:
  std::vector<std::string> Scripts, Navigations, Executed;
  TWebViewSettings Settings;
  bool SettingsApplied = false;
  std::string Title;
  double Zoom = 1.0;
  bool Visible = true;
  bool Focused = false;
  bool Responsive = true;
  int Reloads = 0;
  std::vector<std::string> Documents;  // what NavigateToString showed

  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override {
    Scripts.emplace_back(script);
  }
  void ApplySettings(const TWebViewSettings& settings) override {
    Settings = settings;
    SettingsApplied = true;
  }
  void Navigate(std::string_view uri) override { Navigations.emplace_back(uri); }
  void ExecuteScript(std::string_view script) override { Executed.emplace_back(script); }
  std::string DocumentTitle() const override { return Title; }
  double ZoomFactor() const override { return Zoom; }
  void SetZoomFactor(double factor) override { Zoom = factor; }
  bool IsVisible() const override { return Visible; }
  void MoveFocus() override { Focused = true; }
  void Reload() override { ++Reloads; }
  void NavigateToString(std::string_view html) override { Documents.emplace_back(html); }
  bool IsResponsive() const override { return Responsive; }
};

class TFakeBrowserFormView : public IBrowserFormView {
 public:
  std::optional<TFakeWebView> WebView;
  int CreateRequests = 0;
  bool ProgressVisible = false;
  bool TimerEnabled = false;
  int TimerInterval = 0;
  std::function<void()> Tick;
  std::vector<std::string> Messages;

  bool CreateBrowser(IWebViewEvents& events) override {
    ++CreateRequests;
    if (WebView) return false;
    WebView.emplace();
    events.BrowserAfterCreated();
    return true;
  }
  IWebView* Browser() const override {
    return WebView ? const_cast<TFakeWebView*>(&*WebView) : nullptr;
  }
  void DestroyBrowser() override { WebView.reset(); }
  void SetProgressBarVisible(bool visible) override { ProgressVisible = visible; }
  bool ProgressBarVisible() const override { return ProgressVisible; }
  void SetTimer(bool enabled, int intervalMs, std::function<void()> onTick) override {
    TimerEnabled = enabled;
    TimerInterval = intervalMs;
    Tick = std::move(onTick);
  }
  bool BrowserWindowCanFocus() const override { return true; }
  void FocusBrowserWindow() override {
    if (WebView) WebView->MoveFocus();
  }
  void FillBrowserWindow() override {}
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
};

class TFakeMainWindow : public IMainWindow {
 public:
  std::string CaptionText, ApplicationTitle;
  TRect Rect;
  TSizeConstraints Limits;
  std::optional<bool> Centred;
  TBorderStyle Border = TBorderStyle::Sizeable;
  TWindowState State = TWindowState::Normal;
  bool IsTopmost = false;
  bool IsVisible = false;
  int CloseRequests = 0, FrontRequests = 0;
  std::vector<std::string> Log;  // the order of border and state changes

  void SetCaption(const std::string& caption) override { CaptionText = caption; }
  std::string Caption() const override { return CaptionText; }
  void SetApplicationTitle(const std::string& title) override { ApplicationTitle = title; }
  void SetBounds(const TRect& bounds) override { Rect = bounds; }
  TRect Bounds() const override { return Rect; }
  void SetSizeConstraints(const TSizeConstraints& limits) override { Limits = limits; }
  void SetInitialPlacement(bool centred) override { Centred = centred; }
  void SetBorderStyle(TBorderStyle style) override {
    Border = style;
    Log.push_back("border " + std::to_string(static_cast<int>(style)));
  }
  TBorderStyle BorderStyle() const override { return Border; }
  void SetWindowState(TWindowState state) override {
    State = state;
    Log.push_back("state " + std::to_string(static_cast<int>(state)));
  }
  TWindowState WindowState() const override { return State; }
  void SetTopmost(bool topmost) override { IsTopmost = topmost; }
  bool Topmost() const override { return IsTopmost; }
  void Show() override { IsVisible = true; }
  void Hide() override { IsVisible = false; }
  void BringToFront() override {
    IsVisible = true;
    ++FrontRequests;
  }
  bool Visible() const override { return IsVisible; }
  void Close() override { ++CloseRequests; }
};

class TFakeFileDialogs : public IFileDialogs {
 public:
  struct TCall {
    std::string Kind, FileName, Title;
    std::vector<TFileType> Types;
    bool OverwritePrompt = false;
  };
  std::vector<TCall> Calls;
  std::optional<std::string> Answer;  // no value: the user cancels

  std::optional<std::string> OpenFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& types) override {
    Calls.push_back({"open", fileName, title, types, false});
    return Answer;
  }
  std::optional<std::string> SaveFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& types,
                                      bool overwritePrompt) override {
    Calls.push_back({"save", fileName, title, types, overwritePrompt});
    return Answer;
  }
  std::optional<std::string> SelectFolder(const std::string& title) override {
    Calls.push_back({"folder", "", title, {}, false});
    return Answer;
  }
};

}  // namespace velloc::platform::fake
