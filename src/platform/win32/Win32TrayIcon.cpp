#include "platform/win32/Win32TrayIcon.h"

#include <cstdio>
#include <exception>
#include <shellapi.h>
#include <shellscalingapi.h>
#include <windowsx.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32MenuImages.h"
#include "platform/win32/Win32MenuItems.h"
#include "platform/win32/Win32WindowClass.h"

namespace velloc::platform::win32 {
namespace {

// A balloon icon of our own goes after this long, the longest a balloon shows. The shell's word
// that a balloon went is not waited for: it may speak of the balloon a new one replaced, and Wine
// says nothing.
constexpr UINT_PTR kBalloonTimer = 1;
constexpr UINT kBalloonMilliseconds = 30000;

void CopyText(wchar_t* target, std::size_t size, const std::wstring& text) {
  const std::size_t length = std::min(text.size(), size - 1);
  text.copy(target, length);
  target[length] = L'\0';
}

UINT DpiAt(POINT point) {
  UINT x = 0, y = 0;
  if (SUCCEEDED(GetDpiForMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST),
                                 MDT_EFFECTIVE_DPI, &x, &y)) &&
      x > 0)
    return x;
  return GetDpiForSystem();
}

}  // namespace

std::wstring TrayTipText(const std::string& text, std::size_t limit) {
  std::wstring tip = Widen(text);
  if (tip.size() > limit) {
    std::size_t keep = limit;
    if (keep > 0 && tip[keep - 1] >= 0xD800 && tip[keep - 1] <= 0xDBFF) --keep;
    tip.resize(keep);
  }
  return tip;
}

TWin32TrayIcon::TWin32TrayIcon(HINSTANCE instance) : FInstance(instance) {
  RegisterWindowClassOnce(instance, kTrayWindowClass, &TWin32TrayIcon::WindowProc, "tray window");
  // A hidden top-level window, not a message-only one: only top-level windows hear Explorer's
  // TaskbarCreated broadcast.
  FWindow = CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, instance, this);
  FTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

TWin32TrayIcon::~TWin32TrayIcon() {
  RemoveIcon(kTrayIconId);
  RemoveIcon(kBalloonIconId);
  if (FWindow) {
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
  }
  if (FIcon && FOwnIcon) DestroyIcon(FIcon);
}

void TWin32TrayIcon::SetIcon(std::span<const std::uint8_t> image, const std::string& tooltip) {
  FImage.assign(image.begin(), image.end());
  FTooltip = TrayTipText(tooltip);
  if (FIcon && FOwnIcon) DestroyIcon(FIcon);
  FIcon = nullptr;
  MakeIcon();
  if (FAdded) AddIcon(kTrayIconId);  // modifies the icon that is there
}

void TWin32TrayIcon::MakeIcon() {
  if (FIcon) return;
  const int width = GetSystemMetrics(SM_CXSMICON), height = GetSystemMetrics(SM_CYSMICON);
  // The package's icon is a PNG, which the system reads as an icon resource.
  if (FImage.size() > 8 && FImage[0] == 0x89 && FImage[1] == 'P') {
    FIcon = CreateIconFromResourceEx(FImage.data(), static_cast<DWORD>(FImage.size()), TRUE,
                                     0x00030000, width, height, LR_DEFAULTCOLOR);
    FOwnIcon = FIcon != nullptr;
  }
  if (!FIcon) {
    FOwnIcon = false;
    FIcon = static_cast<HICON>(
        LoadImageW(FInstance, L"MAINICON", IMAGE_ICON, width, height, LR_DEFAULTCOLOR | LR_SHARED));
  }
  if (!FIcon)
    FIcon = static_cast<HICON>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, width, height, LR_SHARED));
}

bool TWin32TrayIcon::AddIcon(UINT id, const wchar_t* info, const wchar_t* infoTitle) {
  if (!FWindow) return false;
  MakeIcon();
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = FWindow;
  data.uID = id;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = FIcon;
  CopyText(data.szTip, std::size(data.szTip), FTooltip);
  if (info) {
    data.uFlags |= NIF_INFO;
    CopyText(data.szInfo, std::size(data.szInfo), info);
    CopyText(data.szInfoTitle, std::size(data.szInfoTitle), infoTitle ? infoTitle : L"");
    data.dwInfoFlags = NIIF_NONE;
  }
  const bool present = id == kTrayIconId ? FAdded : FBalloonIconAdded;
  if (present && Shell_NotifyIconW(NIM_MODIFY, &data)) return true;
  if (!Shell_NotifyIconW(NIM_ADD, &data)) return false;
  data.uVersion = NOTIFYICON_VERSION_4;
  Shell_NotifyIconW(NIM_SETVERSION, &data);
  (id == kTrayIconId ? FAdded : FBalloonIconAdded) = true;
  return true;
}

void TWin32TrayIcon::RemoveIcon(UINT id) {
  bool& added = id == kTrayIconId ? FAdded : FBalloonIconAdded;
  if (!added || !FWindow) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = FWindow;
  data.uID = id;
  Shell_NotifyIconW(NIM_DELETE, &data);
  added = false;
}

void TWin32TrayIcon::Show() {
  FWanted = true;
  if (!FAdded) AddIcon(kTrayIconId);
}

void TWin32TrayIcon::Hide() {
  FWanted = false;
  RemoveIcon(kTrayIconId);
}

void TWin32TrayIcon::SetMenuEntries(const std::vector<TMenuEntry>& entries) {
  FEntries = entries;
}

bool TWin32TrayIcon::ShowBalloon(const std::string& title, const std::string& text,
                                 std::function<void()> onClick) {
  const std::wstring body = Widen(text), heading = Widen(title);
  // A balloon needs some text to show at all.
  const std::wstring shown = body.empty() ? (heading.empty() ? L" " : heading) : body;
  bool ok = false;
  if (FAdded) {
    ok = AddIcon(kTrayIconId, shown.c_str(), heading.c_str());
  } else {
    ok = AddIcon(kBalloonIconId, shown.c_str(), heading.c_str());
    if (ok) SetTimer(FWindow, kBalloonTimer, kBalloonMilliseconds, nullptr);
  }
  FOnBalloonClick = ok ? std::move(onClick) : nullptr;
  return ok;
}

void TWin32TrayIcon::EndBalloon() {
  FOnBalloonClick = nullptr;
  if (FWindow) KillTimer(FWindow, kBalloonTimer);
  RemoveIcon(kBalloonIconId);
}

void TWin32TrayIcon::PopupMenu(POINT at) {
  // A copy: the entries (and the pictures the menu shows) stay while the menu is open, whatever
  // the page sets meanwhile.
  const std::vector<TMenuEntry> entries = FEntries;
  if (entries.empty()) return;  // an empty menu shows nothing
  TMenuCommands commands;
  HMENU menu = CreatePopupMenu();
  AppendMenuEntries(menu, entries, {&commands, MenuImageSize(DpiAt(at)), false});
  // In the foreground first, or the menu stays open when the user clicks elsewhere.
  SetForegroundWindow(FWindow);
  const UINT command = static_cast<UINT>(TrackPopupMenuEx(
      menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, FWindow, nullptr));
  PostMessageW(FWindow, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (const auto id = commands.Click(command); id && FOnItemClick) FOnItemClick(*id);
}

void TWin32TrayIcon::OnIconMessage(UINT event, POINT at) {
  switch (event) {
    case WM_LBUTTONDOWN:
      FLeftDown = true;
      break;
    case WM_LBUTTONDBLCLK:
      // The second click of a double click: its release does not count.
      FLeftDown = false;
      break;
    case WM_LBUTTONUP:
      if (FLeftDown && FOnIconClick) FOnIconClick();
      FLeftDown = false;
      break;
    case NIN_KEYSELECT: {
      // Enter on the icon arrives twice.
      const auto now = static_cast<DWORD>(GetMessageTime());
      if (now - FLastKeySelect > GetDoubleClickTime() && FOnIconClick) FOnIconClick();
      FLastKeySelect = now;
      break;
    }
    case WM_CONTEXTMENU:
      PopupMenu(at);
      break;
    case NIN_BALLOONUSERCLICK: {
      std::function<void()> click = std::move(FOnBalloonClick);
      EndBalloon();
      if (click) click();
      break;
    }
    default:
      break;
  }
}

LRESULT TWin32TrayIcon::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kTrayCallbackMessage) {
    // Version 4: the event and the icon in lParam, the anchor point in wParam.
    OnIconMessage(LOWORD(lParam), {GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)});
    return 0;
  }
  if (message == FTaskbarCreated && FTaskbarCreated != 0) {
    // A new Explorer knows none of our icons.
    FAdded = false;
    FBalloonIconAdded = false;
    EndBalloon();
    if (FWanted) AddIcon(kTrayIconId);
    return 0;
  }
  if (message == WM_TIMER && wParam == kBalloonTimer) {
    EndBalloon();
    return 0;
  }
  return DefWindowProcW(FWindow, message, wParam, lParam);
}

LRESULT CALLBACK TWin32TrayIcon::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<TWin32TrayIcon*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->FWindow = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWin32TrayIcon*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  // No exception may unwind into the system's message dispatch.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: tray: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc: tray: unknown error\n");
  }
  return 0;
}

}  // namespace velloc::platform::win32
