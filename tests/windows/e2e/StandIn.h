// The whole-program test's web view: a stand-in for WebView2 that plays a page's part. It loads
// the start page through the runtime's own resource handler, takes the document scripts, posts
// the page's bridge messages from a script of steps and records every reply, every script the
// runtime executes and every file it serves, as JSON for the test that started it.
//
// The script (VELLOC_STANDIN_SCRIPT, a JSON file) names the steps of each start page:
//   {"pages": {"file:///index.html": [step, ...], ...}, "password": {...}, "timeoutMs": N}
// Steps: {"post": message, "waitMs": N, "answer": {"title": T, "button": "ok"|"cancel"}} (a
// person presses the button of the dialog titled T once it shows), {"postText": "raw"},
// {"fetch": uri, "range": R, "origin": O, "referer": F} (a request of the page, through the
// answers of WebView2's backend at the application origin; "referer": null sends none),
// {"newWindow": uri}, {"permission": kind}, {"spawn": {"args": [...], "env": {...},
// "waitMs": N}}, {"awaitScript": prefix, "waitMs": N} (until the runtime has executed a script
// that begins so), {"moveWindow": [x, y]}, {"sleepMs": N}, {"pageCloseQuery": "close"|"ignore"},
// {"closeWindow": true}, and the probes of StandInProbes.h. A start page without steps closes its
// window once loaded; a start page whose steps are "crash" ends the process (exit code 3) before
// its DOMContentLoaded. A process started with VELLOC_STANDIN_NO_RUNTIME set finds no web view
// runtime.
// Results go to VELLOC_STANDIN_OUT\results-<pid>.json, rewritten after every step.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

#include <rapidjson/document.h>

#include "runtime/win32/RuntimeEntry.h"

namespace velloc::test::standin {

// What this process saw and did. Every thread may add to it.
class TRecord {
 public:
  static TRecord& Get();
  void Open(const std::wstring& outFolder);
  template <typename F>
  void Edit(F edit) {
    const std::lock_guard lock(FMutex);
    edit(FDoc, FDoc.GetAllocator());
  }
  // Appends a value to the array member `name`.
  void Append(const char* name, rapidjson::Value value);
  void Set(const char* name, rapidjson::Value value);
  rapidjson::Value Text(const std::string& text);
  void Save();

 private:
  TRecord();
  std::mutex FMutex;
  rapidjson::Document FDoc;
  std::wstring FPath;
};

// The parsed script, or null members where none was given.
struct TScript {
  rapidjson::Document Doc;
  const rapidjson::Value* Steps(const std::string& startPage) const;
  const rapidjson::Value* Member(const char* name) const;
};
const TScript& Script();
// The script makes the process crash at this start page.
bool CrashesAt(const std::string& startPage);
void LoadScript(const std::wstring& path);

class TStandInWebView;

// The loader and the factory of one process; the factory keeps a message-only window on the
// user-interface thread for everything a real web view does later rather than at once.
class TStandInWebViews final : public runtime::win32::IRuntimeWebViews,
                               public platform::IWebViewLoader,
                               public platform::win32::IWin32WebViewFactory {
 public:
  TStandInWebViews();
  ~TStandInWebViews() override;
  TStandInWebViews(const TStandInWebViews&) = delete;
  TStandInWebViews& operator=(const TStandInWebViews&) = delete;

  platform::IWebViewLoader& Loader() override { return *this; }
  platform::win32::IWin32WebViewFactory& Factory() override { return *this; }

  // IWebViewLoader: a runtime is always there; the environment is ready a moment after start.
  bool CheckEdgeIsInstalled(const std::string& loaderLibraryPath) override;
  void StartWebView2(const std::string& loaderLibraryPath) override;
  bool Initialized() const override;
  bool InitializationError() const override { return false; }
  std::string ErrorMessage() const override { return {}; }

  // IWin32WebViewFactory
  std::unique_ptr<platform::IWebView> CreateWebView(HWND host,
                                                    platform::IWebViewEvents& events) override;
  void FitWebView(platform::IWebView& view, const RECT& client) override;
  void ParentWindowMoved(platform::IWebView& view) override;

  // Runs `task` on the user-interface thread once the current message is done, or after
  // `milliseconds`.
  void Later(std::function<void()> task);
  void After(UINT milliseconds, std::function<void()> task);
  void Forget(TStandInWebView* view);

 private:
  static LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND FDriver = nullptr;
  std::vector<std::function<void()>> FTasks;
  std::map<UINT_PTR, std::function<void()>> FTimers;
  UINT_PTR FNextTimer = 1;
  std::optional<ULONGLONG> FStarted;
  TStandInWebView* FView = nullptr;
};

}  // namespace velloc::test::standin
