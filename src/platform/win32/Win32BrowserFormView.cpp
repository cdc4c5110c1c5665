#include "platform/win32/Win32BrowserFormView.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/Menus.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"VellocBrowserForm";
constexpr wchar_t kHostClass[] = L"VellocBrowserWindow";
constexpr UINT_PTR kBrowserTimer = 1;
constexpr int kProgressBarHeight = 4;  // at 96 pixels per inch

void RegisterClasses(HINSTANCE instance, WNDPROC procedure) {
  for (const wchar_t* name : {kFormClass, kHostClass}) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, name, &existing)) continue;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = static_cast<HCURSOR>(LoadImageW(
        nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = name;
    if (!RegisterClassExW(&windowClass))
      throw std::runtime_error("Cannot register the browser form");
  }
}

}  // namespace

TWin32BrowserFormView::TWin32BrowserFormView(TWin32MainWindow& window,
                                             IWin32WebViewFactory& factory)
    : FWindow(window), FFactory(factory) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterClasses(instance, &TWin32BrowserFormView::WindowProc);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  FForm = CreateWindowExW(0, kFormClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0,
                          window.Handle(), nullptr, instance, this);
  if (!FForm) throw std::runtime_error("Cannot create the browser form");
  FHost = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
                          0, 0, 0, 0, FForm, nullptr, instance, this);
  FProgressBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_MARQUEE, 0, 0, 0, 0, FForm,
                                 nullptr, instance, nullptr);
  if (!FHost || !FProgressBar) {
    // No window may keep pointing at an object that never finished construction.
    DestroyWindow(FForm);
    throw std::runtime_error("Cannot create the browser form");
  }
  window.SetContent(FForm);
}

TWin32BrowserFormView::~TWin32BrowserFormView() {
  SetTimer(false, 0, nullptr);
  ClosePageQuestion();
  DestroyBrowser();
  // The form may be gone with the main window already.
  if (FForm) DestroyWindow(FForm);
}

bool TWin32BrowserFormView::CreateBrowser(IWebViewEvents& events) {
  if (FBrowser || !FHost) return false;
  FBrowser = FFactory.CreateWebView(FHost, events);
  return FBrowser != nullptr;
}

void TWin32BrowserFormView::DestroyBrowser() {
  FBrowser.reset();
}

void TWin32BrowserFormView::Layout() {
  if (!FForm) return;
  RECT client{};
  GetClientRect(FForm, &client);
  int bar = 0;
  if (IsWindowVisible(FProgressBar)) {
    const UINT dpi = GetDpiForWindow(FForm);
    bar = MulDiv(kProgressBarHeight, static_cast<int>(dpi ? dpi : 96), 96);
  }
  const int width = client.right, height = std::max(0, static_cast<int>(client.bottom) - bar);
  MoveWindow(FHost, 0, 0, width, height, TRUE);
  MoveWindow(FProgressBar, 0, height, width, bar, TRUE);
}

void TWin32BrowserFormView::SetProgressBarVisible(bool visible) {
  if (!FProgressBar || visible == ProgressBarVisible()) return;
  ShowWindow(FProgressBar, visible ? SW_SHOWNA : SW_HIDE);
  // A marquee: the bar runs without knowing how far the load is.
  SendMessageW(FProgressBar, PBM_SETMARQUEE, visible ? TRUE : FALSE, 30);
  Layout();
}

bool TWin32BrowserFormView::ProgressBarVisible() const {
  return FProgressBar && (GetWindowLongPtrW(FProgressBar, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TWin32BrowserFormView::SetTimer(bool enabled, int intervalMs, std::function<void()> onTick) {
  if (FTimerRunning && FForm) KillTimer(FForm, kBrowserTimer);
  FTimerRunning = false;
  FOnTick = std::move(onTick);
  if (!enabled || !FOnTick || !FForm) return;
  FTimerRunning =
      ::SetTimer(FForm, kBrowserTimer, static_cast<UINT>(std::max(intervalMs, 1)), nullptr) != 0;
}

void TWin32BrowserFormView::OnTimer() {
  // The tick may stop or restart the timer itself; this one is done either way.
  KillTimer(FForm, kBrowserTimer);
  FTimerRunning = false;
  std::function<void()> tick = FOnTick;
  if (tick) tick();
}

bool TWin32BrowserFormView::BrowserWindowCanFocus() const {
  return FHost && IsWindowVisible(FHost) && IsWindowEnabled(FHost);
}

void TWin32BrowserFormView::FocusBrowserWindow() {
  if (FHost) SetFocus(FHost);
  if (FBrowser) FBrowser->MoveFocus();
}

void TWin32BrowserFormView::FillBrowserWindow() {
  if (!FBrowser || !FHost) return;
  RECT client{};
  GetClientRect(FHost, &client);
  FFactory.FitWebView(*FBrowser, client);
}

void TWin32BrowserFormView::ShowMessage(const std::string& text) {
  // Captioned with the application title, as the platform's plain message box is.
  const std::wstring caption = win32::Widen(FWindow.ApplicationTitle());
  MessageBoxW(FWindow.Handle(), win32::Widen(text).c_str(), caption.c_str(), MB_OK);
}

void TWin32BrowserFormView::ShowPageQuestion(const TPageQuestion& question,
                                             std::function<void(bool reload)> answered) {
  ClosePageQuestion();
  // Not modal, so it can go by itself when the page answers again; Enter waits, and so does its
  // close box. It goes with the main window.
  FQuestion = TWin32Dialogs::ShowModeless(
      FWindow.Handle(), question.Text, TMsgDlgType::Warning, {TMsgDlgBtn::Yes, TMsgDlgBtn::Retry},
      {MnemonicLabel(question.WaitCaption, 0, '&'), MnemonicLabel(question.ReloadCaption, 0, '&')},
      question.Title, [this, answered = std::move(answered)](int result) {
        FQuestion = nullptr;
        answered(result == mrRetry);
      });
}

void TWin32BrowserFormView::ClosePageQuestion() {
  TWin32Dialogs::CloseModeless(std::exchange(FQuestion, nullptr));
}

LRESULT TWin32BrowserFormView::HandleMessage(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (window == FForm) {
        Layout();
      } else {
        FillBrowserWindow();
      }
      return 0;
    case kParentWindowMovedMessage:
      if (FBrowser) FFactory.ParentWindowMoved(*FBrowser);
      return 0;
    case WM_ERASEBKGND:
      if (EraseStyledGround(window, reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_TIMER:
      if (window == FForm && wParam == kBrowserTimer) {
        OnTimer();
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (window == FForm) {
        SetFocus(FHost);
        return 0;
      }
      if (FBrowser) FBrowser->MoveFocus();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TWin32BrowserFormView::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
  auto* self = reinterpret_cast<TWin32BrowserFormView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<TWin32BrowserFormView*>(
        reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // Gone with the main window, perhaps before this object.
    if (window == self->FForm) {
      self->FForm = nullptr;
      self->FProgressBar = nullptr;
      self->FTimerRunning = false;
    }
    if (window == self->FHost) self->FHost = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  // No exception may unwind into the system's message dispatch.
  try {
    return self->HandleMessage(window, message, wParam, lParam);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: browser form: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc: browser form: unknown error\n");
  }
  return 0;
}

}  // namespace velloc::platform::win32
