// The tray icon on Win32: a notification-area icon (Shell_NotifyIconW, version 4) owned by a hidden
// top-level window, with the package's icon and the tooltip the core gives. A left click (button
// pressed and released on the icon; the second click of a double click does not count) raises the
// icon event; a right click brings the application to the foreground and opens the pop-up menu at
// the pointer, built from the core's entries with images at the dpi of the pointer's monitor. When
// Explorer restarts (TaskbarCreated) a shown icon is added again.
//
// It also shows balloons for the desktop notifications where the system has no toasts: on the
// icon while it is shown, else on an icon of its own that stays only as long as the balloon does.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/Tray.h"

namespace velloc::platform::win32 {

// The hidden window's class, for whoever looks for it (the whole-program test).
inline constexpr wchar_t kTrayWindowClass[] = L"VellocTrayWindow";
// The message the notification area sends to it.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 40;
// The icons' IDs: the page's icon, and the one a balloon brings when that icon is hidden.
inline constexpr UINT kTrayIconId = 1;
inline constexpr UINT kBalloonIconId = 2;

class TWin32TrayIcon final : public ITrayIcon {
 public:
  explicit TWin32TrayIcon(HINSTANCE instance = GetModuleHandleW(nullptr));
  ~TWin32TrayIcon() override;
  TWin32TrayIcon(const TWin32TrayIcon&) = delete;
  TWin32TrayIcon& operator=(const TWin32TrayIcon&) = delete;

  void SetIcon(std::span<const std::uint8_t> image, const std::string& tooltip) override;
  void Show() override;
  void Hide() override;
  // Shown and accepted by the notification area.
  bool Visible() const override { return FWanted && FAdded; }
  void SetMenuEntries(const std::vector<TMenuEntry>& entries) override;
  void SetOnIconClick(std::function<void()> onClick) override { FOnIconClick = std::move(onClick); }
  void SetOnItemClick(TMenuItemClick onClick) override { FOnItemClick = std::move(onClick); }

  // Shows a balloon whose click calls `onClick` (on this thread). A later balloon replaces it.
  // False when the notification area refuses it (no taskbar).
  bool ShowBalloon(const std::string& title, const std::string& text,
                   std::function<void()> onClick);
  // A click on the balloon showing now calls nothing.
  void CancelBalloonClick() { FOnBalloonClick = nullptr; }

  HWND Window() const { return FWindow; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnIconMessage(UINT event, POINT at);
  bool AddIcon(UINT id, const wchar_t* info = nullptr, const wchar_t* infoTitle = nullptr);
  void RemoveIcon(UINT id);
  void MakeIcon();
  void PopupMenu(POINT at);
  void EndBalloon();

  HINSTANCE FInstance;
  HWND FWindow = nullptr;
  UINT FTaskbarCreated = 0;
  std::vector<std::uint8_t> FImage;
  std::wstring FTooltip;
  HICON FIcon = nullptr;
  bool FOwnIcon = false;  // FIcon was made from the image and is destroyed here
  bool FWanted = false;   // the core asked for the icon
  bool FAdded = false;    // the notification area holds it
  bool FBalloonIconAdded = false;
  bool FLeftDown = false;
  DWORD FLastKeySelect = 0;
  std::vector<TMenuEntry> FEntries;
  std::function<void()> FOnBalloonClick;
  std::function<void()> FOnIconClick;
  TMenuItemClick FOnItemClick;
};

// The tooltip as the notification area takes it: at most 127 UTF-16 units, never half of a
// surrogate pair.
std::wstring TrayTipText(const std::string& text, std::size_t limit = 127);

}  // namespace velloc::platform::win32
