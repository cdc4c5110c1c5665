// The main window on Win32: a top-level window whose client area the browser form fills. Border
// styles become window styles, size limits are kept through WM_GETMINMAXINFO and the window's
// own size changes, and a close request from the user or the system asks the core first.
#pragma once

#include <string>
#include <windows.h>

#include "platform/Window.h"
#include "platform/win32/Win32RoundedCorners.h"

namespace velloc::platform::win32 {

// Sent to the content window (the browser form) after the main window moved.
inline constexpr UINT kParentWindowMovedMessage = WM_APP + 2;

// The window styles of a border: style bits and extended style bits.
struct TWin32BorderStyles {
  DWORD Style = 0;
  DWORD ExStyle = 0;
};
TWin32BorderStyles BorderStyles(TBorderStyle border);

class TWin32MainWindow final : public IMainWindow {
 public:
  // The icon is the executable's resource "MAINICON", else the system's application icon.
  explicit TWin32MainWindow(HINSTANCE instance = GetModuleHandleW(nullptr));
  TWin32MainWindow(const TWin32MainWindow&) = delete;
  TWin32MainWindow& operator=(const TWin32MainWindow&) = delete;
  ~TWin32MainWindow() override;

  void SetEvents(IMainWindowEvents* events) { FEvents = events; }
  // Null once the window has closed.
  HWND Handle() const { return FWindow; }
  // The child window that fills the client area (the browser form).
  void SetContent(HWND content);
  // Closing for good ends the thread's message loop; tests with several windows turn it off.
  void SetQuitOnClose(bool quit) { FQuitOnClose = quit; }
  const std::string& ApplicationTitle() const { return FApplicationTitle; }
  TWin32RoundedCorners& Corners() { return FCorners; }

  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  void SetApplicationTitle(const std::string& title) override;
  void SetBounds(const TRect& bounds) override;
  TRect Bounds() const override;
  void SetSizeConstraints(const TSizeConstraints& limits) override;
  void SetInitialPlacement(bool centred) override;
  void SetBorderStyle(TBorderStyle style) override;
  TBorderStyle BorderStyle() const override { return FBorder; }
  void SetWindowState(TWindowState state) override;
  TWindowState WindowState() const override;
  void SetTopmost(bool topmost) override;
  bool Topmost() const override;
  void Show() override;
  void Hide() override;
  void BringToFront() override;
  bool Visible() const override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
  void OnWindowPosChanging(WINDOWPOS& position) const;
  void OnSize(WPARAM kind);
  void KeepWithinLimits(int& width, int& height) const;
  // The rectangle of the normal state, also while minimized or maximized.
  RECT NormalRect() const;
  void SetNormalRect(const RECT& rect);
  void PlaceForFirstShow();
  void RunCloseQuery();

  HWND FWindow = nullptr;
  HWND FContent = nullptr;
  TWin32RoundedCorners FCorners;
  IMainWindowEvents* FEvents = nullptr;
  TSizeConstraints FLimits;
  TBorderStyle FBorder = TBorderStyle::Sizeable;
  TWindowState FState = TWindowState::Normal;  // asked for while hidden, seen while shown
  std::string FApplicationTitle;
  bool FCentred = true;
  bool FPlacementPending = true;  // the first Show places the window
  bool FClosePosted = false;
  bool FClosed = false;
  bool FDestroying = false;
  bool FQuitOnClose = true;
};

}  // namespace velloc::platform::win32
