// The main window's menu bar on Win32: a menu (SetMenu) rebuilt whole from the core's entries,
// with item images of 16 by 16 pixels at 96 dpi scaled to the window's dpi. In a built-in style the
// bar's own items are drawn by their owner in the style's colours on a bar of the style's colour;
// the drop-down menus keep the system's look. A rebuild asked for while a menu is open waits until
// it closes. The bar reaches the window's messages through a subclass.
#pragma once

#include <cstdint>
#include <vector>
#include <windows.h>

#include "platform/Menus.h"
#include "platform/win32/Win32MenuItems.h"

namespace velloc::platform::win32 {

class TWin32MainMenuBar final : public IMainMenuBar {
 public:
  explicit TWin32MainMenuBar(HWND window);
  ~TWin32MainMenuBar() override;
  TWin32MainMenuBar(const TWin32MainMenuBar&) = delete;
  TWin32MainMenuBar& operator=(const TWin32MainMenuBar&) = delete;

  void Attach() override;
  void SetEntries(const std::vector<TMenuEntry>& entries) override;
  void SetOnItemClick(TMenuItemClick onClick) override { FOnClick = std::move(onClick); }

  // The menu on the window, null before Attach.
  HMENU Menu() const { return FMenu; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  void Rebuild();
  void Measure(MEASUREITEMSTRUCT& item);
  void Draw(const DRAWITEMSTRUCT& item);
  LRESULT MenuChar(wchar_t character) const;
  // The bar's ground where no item is, in the style's colour: Windows 10 and 11 draw a light
  // line under a menu bar whatever its colour, and Wine draws the bar in the system's colour.
  void PaintBarGround();
  HFONT MenuFont();

  HWND FWindow;
  HMENU FMenu = nullptr;
  bool FAttached = false;
  bool FTracking = false;
  bool FRebuildPending = false;
  bool FOwnerDrawn = false;
  std::vector<TMenuEntry> FEntries;
  std::vector<TMenuEntry> FShown;  // what the menu was built from: keeps its images alive
  TMenuCommands FCommands;
  HFONT FFont = nullptr;
  UINT FFontDpi = 0;
  TMenuItemClick FOnClick;
};

}  // namespace velloc::platform::win32
