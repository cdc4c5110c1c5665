// The browser form on Win32: a child window filling the main window's client area, with the web
// view's host window above a 4-pixel marquee progress bar, the creation timer and the plain
// message box. The web view itself comes from a backend through IWin32WebViewFactory.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <windows.h>

#include "platform/BrowserFormView.h"
#include "platform/win32/Win32MainWindow.h"

namespace velloc::platform::win32 {

// What the browser form needs from a Win32 web view backend.
class IWin32WebViewFactory {
 public:
  virtual ~IWin32WebViewFactory() = default;
  // Starts a web view inside the host window with the loader's shared environment. The object
  // comes back at once; the backend raises BrowserAfterCreated on `events` when the web view is
  // ready, which may be later or before this returns. Null when no web view can be made.
  virtual std::unique_ptr<IWebView> CreateWebView(HWND host, IWebViewEvents& events) = 0;
  // Makes the web view cover this client rectangle of its host window.
  virtual void FitWebView(IWebView& view, const RECT& client) = 0;
  // The top-level window moved: pop-ups the web view opens itself (select lists, autofill)
  // must open at its new place.
  virtual void ParentWindowMoved(IWebView& view) = 0;
};

class TWin32BrowserFormView final : public IBrowserFormView {
 public:
  // The form becomes the main window's content; the factory outlives the form.
  TWin32BrowserFormView(TWin32MainWindow& window, IWin32WebViewFactory& factory);
  TWin32BrowserFormView(const TWin32BrowserFormView&) = delete;
  TWin32BrowserFormView& operator=(const TWin32BrowserFormView&) = delete;
  ~TWin32BrowserFormView() override;

  HWND Handle() const { return FForm; }
  // The host window of the web view (the browser window).
  HWND BrowserWindow() const { return FHost; }
  HWND ProgressBar() const { return FProgressBar; }

  bool CreateBrowser(IWebViewEvents& events) override;
  IWebView* Browser() const override { return FBrowser.get(); }
  void DestroyBrowser() override;
  void SetProgressBarVisible(bool visible) override;
  bool ProgressBarVisible() const override;
  void SetTimer(bool enabled, int intervalMs, std::function<void()> onTick) override;
  bool BrowserWindowCanFocus() const override;
  void FocusBrowserWindow() override;
  void FillBrowserWindow() override;
  void ShowMessage(const std::string& text) override;
  void ShowPageQuestion(const TPageQuestion& question,
                        std::function<void(bool reload)> answered) override;
  void ClosePageQuestion() override;
  // The open question's window, or null.
  HWND PageQuestion() const { return FQuestion; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Layout();
  void OnTimer();

  TWin32MainWindow& FWindow;
  IWin32WebViewFactory& FFactory;
  HWND FForm = nullptr;
  HWND FHost = nullptr;
  HWND FProgressBar = nullptr;
  std::unique_ptr<IWebView> FBrowser;
  std::function<void()> FOnTick;
  bool FTimerRunning = false;
  HWND FQuestion = nullptr;
};

}  // namespace velloc::platform::win32
