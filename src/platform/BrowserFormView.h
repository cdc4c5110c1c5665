// The platform side of the browser form: the host window of the web view, the progress bar and
// the creation timer. The rules (retry, script composition, settings order) live in the core.
#pragma once

#include <functional>
#include <string>

#include "platform/WebView.h"

namespace velloc::platform {

// A question about the page whose process does not answer: wait for it, or reload it.
struct TPageQuestion {
  std::string Title;
  std::string Text;
  std::string WaitCaption;  // the default button; closing the question counts as waiting
  std::string ReloadCaption;
};

class IBrowserFormView {
 public:
  virtual ~IBrowserFormView() = default;
  // Creates the web view inside the host window with the loader's shared environment and then
  // raises BrowserAfterCreated. False when a web view exists already (the request is refused).
  virtual bool CreateBrowser(IWebViewEvents& events) = 0;
  // The web view, or null while it does not exist.
  virtual IWebView* Browser() const = 0;
  // Destroys the web view, so no event reaches a browser form that is going away.
  virtual void DestroyBrowser() = 0;
  virtual void SetProgressBarVisible(bool visible) = 0;
  virtual bool ProgressBarVisible() const = 0;
  // A repeating timer; the tick calls `onTick` until disabled.
  virtual void SetTimer(bool enabled, int intervalMs, std::function<void()> onTick) = 0;
  virtual bool BrowserWindowCanFocus() const = 0;
  virtual void FocusBrowserWindow() = 0;
  // Makes the web view fill the host window again.
  virtual void FillBrowserWindow() = 0;
  // A plain message box at the default position.
  virtual void ShowMessage(const std::string& text) = 0;
  // Shows the question without blocking: the window, its menus and the page go on meanwhile.
  // `answered` gets true for reload, false for wait (also when the question's window is closed);
  // it runs after the question has gone, never inside the call that shows it, and never after
  // ClosePageQuestion or the end of the form. A question still open is replaced.
  virtual void ShowPageQuestion(const TPageQuestion& question,
                                std::function<void(bool reload)> answered) = 0;
  // Takes the question away unanswered; nothing when none is open.
  virtual void ClosePageQuestion() = 0;
};

}  // namespace velloc::platform
