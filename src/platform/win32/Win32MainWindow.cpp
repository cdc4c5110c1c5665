#include "platform/win32/Win32MainWindow.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"VellocMainWindow";
// Close() runs the close query once the message that asked for it has returned: closing
// destroys the web view and the bridge, which may be the caller.
constexpr UINT kCloseMessage = WM_APP + 1;
// Sizes and positions from a page or a package stay where the window manager and the web view
// can follow; larger windows cost gigabytes of surface and gain nothing on any screen.
constexpr int kMaxWindowExtent = 16384;

constexpr DWORD kBorderStyleMask =
    WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kBorderExStyleMask = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

HICON LoadAppIcon(HINSTANCE instance, int metricX, int metricY) {
  const int width = GetSystemMetrics(metricX), height = GetSystemMetrics(metricY);
  if (HANDLE icon = LoadImageW(instance, L"MAINICON", IMAGE_ICON, width, height, LR_DEFAULTCOLOR))
    return static_cast<HICON>(icon);
  return static_cast<HICON>(
      LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, width, height, LR_SHARED));
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kWindowClass, &existing)) return;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadAppIcon(instance, SM_CXICON, SM_CYICON);
  windowClass.hIconSm = LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON);
  windowClass.hCursor = static_cast<HCURSOR>(
      LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  // The system window colour, as the form's background.
  windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) throw std::runtime_error("Cannot register the main window");
}

int Width(const RECT& rect) {
  return rect.right - rect.left;
}
int Height(const RECT& rect) {
  return rect.bottom - rect.top;
}

// Window placements count from the work area of the window's monitor, unless the window is a
// tool window; screen coordinates count from the primary monitor's corner.
POINT WorkspaceOffset(HWND window) {
  if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return {0, 0};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
    return {0, 0};
  return {monitor.rcWork.left - monitor.rcMonitor.left, monitor.rcWork.top - monitor.rcMonitor.top};
}

}  // namespace

TWin32BorderStyles BorderStyles(TBorderStyle border) {
  switch (border) {
    case TBorderStyle::None:
      // The system menu and the minimize box let the taskbar still minimize and restore it.
      return {WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0};
    case TBorderStyle::Single:
      return {WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0};
    case TBorderStyle::Dialog:
      return {WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE};
    case TBorderStyle::ToolWindow:
      return {WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW};
    case TBorderStyle::SizeToolWindow:
      return {WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, WS_EX_TOOLWINDOW};
    case TBorderStyle::Sizeable:
    default:
      return {WS_OVERLAPPEDWINDOW, 0};
  }
}

TWin32MainWindow::TWin32MainWindow(HINSTANCE instance) {
  RegisterWindowClass(instance, &TWin32MainWindow::WindowProc);
  const TWin32BorderStyles styles = BorderStyles(FBorder);
  // The configured defaults until the core applies its own.
  CreateWindowExW(styles.ExStyle, kWindowClass, L"", styles.Style | WS_CLIPCHILDREN, 50, 50, 800,
                  600, nullptr, nullptr, instance, this);
  if (!FWindow) throw std::runtime_error("Cannot create the main window");
  FCorners.Attach(FWindow);
  ApplyTitleBarStyle(FWindow);
}

TWin32MainWindow::~TWin32MainWindow() {
  FDestroying = true;
  if (FWindow) DestroyWindow(FWindow);
}

void TWin32MainWindow::SetContent(HWND content) {
  FContent = content;
  OnSize(SIZE_RESTORED);
}

void TWin32MainWindow::SetCaption(const std::string& caption) {
  SetWindowTextW(FWindow, win32::Widen(caption).c_str());
}

std::string TWin32MainWindow::Caption() const {
  std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(FWindow)) + 1, L'\0');
  caption.resize(static_cast<std::size_t>(
      GetWindowTextW(FWindow, caption.data(), static_cast<int>(caption.size()))));
  return win32::Narrow(caption);
}

void TWin32MainWindow::SetApplicationTitle(const std::string& title) {
  // The taskbar shows the main window's own caption; the application title captions the plain
  // message boxes.
  FApplicationTitle = title;
}

void TWin32MainWindow::KeepWithinLimits(int& width, int& height) const {
  const auto clamp = [](int value, int min, int max) {
    if (max > 0) value = std::min(value, max);
    if (min > 0) value = std::max(value, min);
    return value;
  };
  width = clamp(width, FLimits.MinWidth, FLimits.MaxWidth);
  height = clamp(height, FLimits.MinHeight, FLimits.MaxHeight);
}

RECT TWin32MainWindow::NormalRect() const {
  RECT rect{};
  if (!IsIconic(FWindow) && !IsZoomed(FWindow)) {
    GetWindowRect(FWindow, &rect);
    return rect;
  }
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(FWindow, &placement);
  rect = placement.rcNormalPosition;
  const POINT offset = WorkspaceOffset(FWindow);
  OffsetRect(&rect, offset.x, offset.y);
  return rect;
}

void TWin32MainWindow::SetNormalRect(const RECT& rect) {
  if (!IsIconic(FWindow) && !IsZoomed(FWindow)) {
    SetWindowPos(FWindow, nullptr, rect.left, rect.top, Width(rect), Height(rect),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  // Minimized or maximized: the rectangle waits for the window's return to the normal state.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(FWindow, &placement);
  placement.rcNormalPosition = rect;
  const POINT offset = WorkspaceOffset(FWindow);
  OffsetRect(&placement.rcNormalPosition, -offset.x, -offset.y);
  placement.showCmd = static_cast<UINT>(IsIconic(FWindow) ? SW_SHOWMINNOACTIVE : SW_SHOWMAXIMIZED);
  if (!IsWindowVisible(FWindow)) placement.showCmd = SW_HIDE;
  SetWindowPlacement(FWindow, &placement);
}

void TWin32MainWindow::SetBounds(const TRect& bounds) {
  int width = std::clamp(bounds.Width, 1, kMaxWindowExtent);
  int height = std::clamp(bounds.Height, 1, kMaxWindowExtent);
  KeepWithinLimits(width, height);
  const int left = std::clamp(bounds.Left, -kMaxWindowExtent, kMaxWindowExtent);
  const int top = std::clamp(bounds.Top, -kMaxWindowExtent, kMaxWindowExtent);
  SetNormalRect({left, top, left + width, top + height});
}

TRect TWin32MainWindow::Bounds() const {
  // A minimized window sits far off the screen; where it comes back to says more.
  RECT rect{};
  if (IsIconic(FWindow)) {
    rect = NormalRect();
  } else {
    GetWindowRect(FWindow, &rect);
  }
  return {rect.top, rect.left, Width(rect), Height(rect)};
}

void TWin32MainWindow::SetSizeConstraints(const TSizeConstraints& limits) {
  const auto clamp = [](int value) { return std::clamp(value, 0, kMaxWindowExtent); };
  FLimits = {clamp(limits.MaxWidth), clamp(limits.MaxHeight), clamp(limits.MinWidth),
             clamp(limits.MinHeight)};
  // The current size obeys the limits at once.
  RECT rect = NormalRect();
  int width = Width(rect), height = Height(rect);
  KeepWithinLimits(width, height);
  if (width != Width(rect) || height != Height(rect)) {
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;
    SetNormalRect(rect);
  }
  if (IsZoomed(FWindow)) {
    // A maximized window takes its size from the limits anew.
    SetWindowPos(FWindow, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

void TWin32MainWindow::SetInitialPlacement(bool centred) {
  FCentred = centred;
}

void TWin32MainWindow::PlaceForFirstShow() {
  RECT rect = NormalRect();
  const int width = Width(rect), height = Height(rect);
  if (FCentred) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(FWindow, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const RECT& work = monitor.rcWork;
    rect.left = work.left + (Width(work) - width) / 2;
    rect.top = work.top + (Height(work) - height) / 2;
  } else {
    // Where the system would put a new window of this size: a throw-away window asks it.
    HWND probe = CreateWindowExW(
        0, kWindowClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, width, height,
        nullptr, nullptr, reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(FWindow, GWLP_HINSTANCE)),
        nullptr);
    if (!probe) return;
    RECT placed{};
    GetWindowRect(probe, &placed);
    DestroyWindow(probe);
    rect.left = placed.left;
    rect.top = placed.top;
  }
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  SetNormalRect(rect);
}

void TWin32MainWindow::SetBorderStyle(TBorderStyle style) {
  FBorder = style;
  const TWin32BorderStyles styles = BorderStyles(style);
  const auto oldStyle = static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_STYLE));
  const auto oldExStyle = static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_EXSTYLE));
  const DWORD newStyle = (oldStyle & ~kBorderStyleMask) | styles.Style;
  const DWORD newExStyle = (oldExStyle & ~kBorderExStyleMask) | styles.ExStyle;
  // The window keeps its handle, so its children (the web view) live on. The taskbar notices a
  // change between tool window and normal window only when the window is shown again.
  const bool reshow =
      IsWindowVisible(FWindow) && ((oldExStyle ^ newExStyle) & WS_EX_TOOLWINDOW) != 0;
  if (reshow) ShowWindow(FWindow, SW_HIDE);
  SetWindowLongPtrW(FWindow, GWL_STYLE, static_cast<LONG_PTR>(newStyle));
  SetWindowLongPtrW(FWindow, GWL_EXSTYLE, static_cast<LONG_PTR>(newExStyle));
  // The outer rectangle stays; the frame inside it changes.
  SetWindowPos(FWindow, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (reshow) ShowWindow(FWindow, SW_SHOWNA);
  // A maximized window takes the maximized size of its new border (the whole monitor without
  // one).
  if (IsZoomed(FWindow) && IsWindowVisible(FWindow)) {
    ShowWindow(FWindow, SW_RESTORE);
    ShowWindow(FWindow, SW_SHOWMAXIMIZED);
  }
  // The desktop window manager keeps the corner preference of the window; ask again, as a new
  // frame may start from the system's default. A new caption takes the style's colours.
  FCorners.Attach(FWindow);
  ApplyTitleBarStyle(FWindow);
}

void TWin32MainWindow::SetWindowState(TWindowState state) {
  FState = state;
  if (!IsWindowVisible(FWindow)) return;  // Show applies it
  switch (state) {
    case TWindowState::Normal:
      // A window minimized from maximized comes back maximized first.
      if (IsIconic(FWindow)) ShowWindow(FWindow, SW_RESTORE);
      if (IsZoomed(FWindow)) ShowWindow(FWindow, SW_RESTORE);
      break;
    case TWindowState::Minimized:
      ShowWindow(FWindow, SW_MINIMIZE);
      break;
    case TWindowState::Maximized:
      ShowWindow(FWindow, SW_SHOWMAXIMIZED);
      break;
  }
}

TWindowState TWin32MainWindow::WindowState() const {
  if (!IsWindowVisible(FWindow)) return FState;
  if (IsIconic(FWindow)) return TWindowState::Minimized;
  if (IsZoomed(FWindow)) return TWindowState::Maximized;
  return TWindowState::Normal;
}

void TWin32MainWindow::SetTopmost(bool topmost) {
  SetWindowPos(FWindow, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool TWin32MainWindow::Topmost() const {
  return (GetWindowLongPtrW(FWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void TWin32MainWindow::Show() {
  if (FPlacementPending) {
    FPlacementPending = false;
    PlaceForFirstShow();
  }
  if (IsWindowVisible(FWindow)) return;
  switch (FState) {
    case TWindowState::Normal:
      ShowWindow(FWindow, IsZoomed(FWindow) || IsIconic(FWindow) ? SW_RESTORE : SW_SHOWNORMAL);
      break;
    case TWindowState::Minimized:
      ShowWindow(FWindow, SW_SHOWMINIMIZED);
      break;
    case TWindowState::Maximized:
      ShowWindow(FWindow, SW_SHOWMAXIMIZED);
      break;
  }
  UpdateWindow(FWindow);
}

void TWin32MainWindow::Hide() {
  FState = WindowState();
  ShowWindow(FWindow, SW_HIDE);
}

void TWin32MainWindow::BringToFront() {
  if (!IsWindowVisible(FWindow)) Show();
  if (IsIconic(FWindow)) ShowWindow(FWindow, SW_RESTORE);
  SetWindowPos(FWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(FWindow);
}

bool TWin32MainWindow::Visible() const {
  return FWindow && IsWindowVisible(FWindow);
}

void TWin32MainWindow::Close() {
  if (FClosePosted || FClosed || !FWindow) return;
  FClosePosted = PostMessageW(FWindow, kCloseMessage, 0, 0) != FALSE;
}

void TWin32MainWindow::RunCloseQuery() {
  if (FClosed) return;
  if (FEvents && !FEvents->FormCloseQuery()) return;
  FClosed = true;
  if (FEvents) FEvents->FormClose();
  DestroyWindow(FWindow);
}

void TWin32MainWindow::OnGetMinMaxInfo(MINMAXINFO& info) const {
  if (FBorder == TBorderStyle::None) {
    // Without a border, maximized is the whole monitor: the full-screen mode.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(FWindow, MONITOR_DEFAULTTONEAREST), &monitor)) {
      info.ptMaxPosition = {0, 0};
      info.ptMaxSize = {Width(monitor.rcMonitor), Height(monitor.rcMonitor)};
    }
  }
  if (FLimits.MinWidth > 0) info.ptMinTrackSize.x = FLimits.MinWidth;
  if (FLimits.MinHeight > 0) info.ptMinTrackSize.y = FLimits.MinHeight;
  if (FLimits.MaxWidth > 0) {
    info.ptMaxTrackSize.x = FLimits.MaxWidth;
    info.ptMaxSize.x = std::min<LONG>(info.ptMaxSize.x, FLimits.MaxWidth);
  }
  if (FLimits.MaxHeight > 0) {
    info.ptMaxTrackSize.y = FLimits.MaxHeight;
    info.ptMaxSize.y = std::min<LONG>(info.ptMaxSize.y, FLimits.MaxHeight);
  }
}

void TWin32MainWindow::OnWindowPosChanging(WINDOWPOS& position) const {
  // The system asks WM_GETMINMAXINFO for overlapped and sizeable windows only; the limits hold
  // for every border, so each size change is kept within them here as well.
  if ((position.flags & SWP_NOSIZE) || IsIconic(FWindow)) return;
  KeepWithinLimits(position.cx, position.cy);
}

void TWin32MainWindow::OnSize(WPARAM kind) {
  if (IsWindowVisible(FWindow)) {
    if (kind == SIZE_MINIMIZED) {
      FState = TWindowState::Minimized;
    } else if (kind == SIZE_MAXIMIZED) {
      FState = TWindowState::Maximized;
    } else if (kind == SIZE_RESTORED) {
      FState = TWindowState::Normal;
    }
  }
  if (!FContent || kind == SIZE_MINIMIZED) return;
  RECT client{};
  GetClientRect(FWindow, &client);
  MoveWindow(FContent, 0, 0, Width(client), Height(client), TRUE);
}

LRESULT TWin32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // Every close request asks the core; the window goes only when it agrees.
      RunCloseQuery();
      return 0;
    case kCloseMessage:
      FClosePosted = false;
      RunCloseQuery();
      return 0;
    case WM_GETMINMAXINFO:
      DefWindowProcW(FWindow, message, wParam, lParam);
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_WINDOWPOSCHANGING:
      OnWindowPosChanging(*reinterpret_cast<WINDOWPOS*>(lParam));
      break;
    case WM_SIZE:
      OnSize(wParam);
      return 0;
    case WM_MOVE:
    case WM_MOVING: {
      const LRESULT result = DefWindowProcW(FWindow, message, wParam, lParam);
      if (FContent) SendMessageW(FContent, kParentWindowMovedMessage, 0, 0);
      return message == WM_MOVING ? TRUE : result;
    }
    case WM_SETFOCUS:
      if (FContent) SetFocus(FContent);
      return 0;
    case WM_ERASEBKGND:
      if (EraseStyledGround(FWindow, reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_DPICHANGED: {
      // Per-monitor DPI: the system suggests the rectangle that keeps the window's look.
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(FWindow, nullptr, suggested.left, suggested.top, Width(suggested),
                   Height(suggested), SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      FClosed = true;
      FCorners.Detach();
      if (FQuitOnClose && !FDestroying) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(FWindow, message, wParam, lParam);
}

LRESULT CALLBACK TWin32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* self = reinterpret_cast<TWin32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<TWin32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (self) {
      self->FWindow = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  }
  if (!self) return DefWindowProcW(window, message, wParam, lParam);  // the placement probe
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->FWindow = nullptr;
    self->FContent = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  // No exception may unwind into the system's message dispatch.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: main window: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc: main window: unknown error\n");
  }
  return 0;
}

}  // namespace velloc::platform::win32
