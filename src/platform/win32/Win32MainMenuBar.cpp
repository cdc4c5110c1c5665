#include "platform/win32/Win32MainMenuBar.h"

#include <commctrl.h>
#include <cstdio>
#include <exception>
#include <utility>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32MenuImages.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x564D42;  // "VMB"
// A rebuild that waited for an open menu runs once the messages of its closing are through.
constexpr UINT kRebuildMessage = WM_APP + 30;
// Around an owner-drawn item's text and between its image and text, at 96 dpi.
constexpr int kItemPadding = 7;
constexpr int kImageGap = 4;

int Scaled(int pixels, UINT dpi) {
  return MulDiv(pixels, static_cast<int>(dpi ? dpi : 96), 96);
}

// The access key's character of an entry, or 0.
wchar_t AccessCharacter(const TMenuEntry& entry) {
  if (entry.AccessKey < 0 || static_cast<std::size_t>(entry.AccessKey) >= entry.Text.size())
    return 0;
  std::size_t length = 1;
  const auto lead =
      static_cast<unsigned char>(entry.Text[static_cast<std::size_t>(entry.AccessKey)]);
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  const std::wstring wide =
      Widen(entry.Text.substr(static_cast<std::size_t>(entry.AccessKey), length));
  return wide.empty() ? 0 : wide[0];
}

wchar_t Upper(wchar_t c) {
  return static_cast<wchar_t>(reinterpret_cast<std::uintptr_t>(
      CharUpperW(reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(c)))));
}

}  // namespace

TWin32MainMenuBar::TWin32MainMenuBar(HWND window) : FWindow(window) {
  SetWindowSubclass(FWindow, &TWin32MainMenuBar::SubclassProc, kSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
}

TWin32MainMenuBar::~TWin32MainMenuBar() {
  if (FWindow) {
    RemoveWindowSubclass(FWindow, &TWin32MainMenuBar::SubclassProc, kSubclassId);
    if (FMenu && GetMenu(FWindow) == FMenu) SetMenu(FWindow, nullptr);
  }
  if (FMenu) DestroyMenu(FMenu);
  if (FFont) DeleteObject(FFont);
}

void TWin32MainMenuBar::Attach() {
  if (FAttached) return;
  FAttached = true;
  Rebuild();
}

void TWin32MainMenuBar::SetEntries(const std::vector<TMenuEntry>& entries) {
  FEntries = entries;
  Rebuild();
}

void TWin32MainMenuBar::Rebuild() {
  if (!FAttached || !FWindow) return;
  if (FTracking) {
    // The open menu may be the one that would go.
    FRebuildPending = true;
    return;
  }
  FRebuildPending = false;
  const UINT dpi = GetDpiForWindow(FWindow);
  const TWin32Style* style = ActiveStyle();
  FOwnerDrawn = style != nullptr;
  // The old entries (and the pictures the old menu shows) stay until the old menu is gone.
  const std::vector<TMenuEntry> previous = std::exchange(FShown, FEntries);
  FCommands.Clear();
  HMENU bar = CreateMenu();
  AppendMenuEntries(bar, FShown, {&FCommands, MenuImageSize(dpi), FOwnerDrawn});
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_BACKGROUND;  // the bar alone: its drop-downs keep the system's look
  info.hbrBack = style ? SolidBrush(ColorRef(style->Colors.Bar)) : nullptr;
  SetMenuInfo(bar, &info);
  const HMENU old = std::exchange(FMenu, bar);
  SetMenu(FWindow, bar);
  if (old) DestroyMenu(old);
  DrawMenuBar(FWindow);
}

HFONT TWin32MainMenuBar::MenuFont() {
  const UINT dpi = GetDpiForWindow(FWindow);
  if (FFont && FFontDpi == dpi) return FFont;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (HFONT font = CreateFontIndirectW(&metrics.lfMenuFont)) {
    if (FFont) DeleteObject(FFont);
    FFont = font;
    FFontDpi = dpi;
  }
  return FFont ? FFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void TWin32MainMenuBar::Measure(MEASUREITEMSTRUCT& item) {
  if (item.itemData >= FShown.size()) return;
  const TMenuEntry& entry = FShown[item.itemData];
  const UINT dpi = GetDpiForWindow(FWindow);
  const std::wstring caption = MenuCaption(entry);
  HDC dc = GetDC(FWindow);
  const HGDIOBJ oldFont = SelectObject(dc, MenuFont());
  RECT text{};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
            DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, oldFont);
  ReleaseDC(FWindow, dc);
  int width = text.right + 2 * Scaled(kItemPadding, dpi);
  if (entry.Image) width += MenuImageSize(dpi) + Scaled(kImageGap, dpi);
  item.itemWidth = static_cast<UINT>(width);
  item.itemHeight = static_cast<UINT>(GetSystemMetricsForDpi(SM_CYMENU, dpi));
}

void TWin32MainMenuBar::Draw(const DRAWITEMSTRUCT& item) {
  const TWin32Style* style = ActiveStyle();
  if (!style || item.itemData >= FShown.size()) return;
  const TStyleScheme& s = style->Colors;
  const TMenuEntry& entry = FShown[item.itemData];
  const UINT dpi = GetDpiForWindow(FWindow);
  const bool disabled = (item.itemState & (ODS_DISABLED | ODS_GRAYED)) != 0;
  const bool selected = !disabled && (item.itemState & (ODS_SELECTED | ODS_HOTLIGHT)) != 0;
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, SolidBrush(ColorRef(selected ? s.Selection : s.Bar)));

  RECT rect = item.rcItem;
  rect.left += Scaled(kItemPadding, dpi);
  if (const auto* image = dynamic_cast<const TWin32MenuImage*>(entry.Image.get())) {
    const int side = MenuImageSize(dpi);
    if (HBITMAP bitmap = image->Bitmap(side, entry.Enabled)) {
      HDC memory = CreateCompatibleDC(dc);
      const HGDIOBJ old = SelectObject(memory, bitmap);
      const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      AlphaBlend(dc, rect.left, rect.top + (rect.bottom - rect.top - side) / 2, side, side, memory,
                 0, 0, side, side, blend);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    rect.left += side + Scaled(kImageGap, dpi);
  }
  const TRgb text = disabled ? Mix(s.BarText, s.Bar, 0.5) : selected ? s.SelectionText : s.BarText;
  const std::wstring caption = MenuCaption(entry);
  const HGDIOBJ oldFont = SelectObject(dc, MenuFont());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorRef(text));
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
  if (item.itemState & ODS_NOACCEL) format |= DT_HIDEPREFIX;
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect, format);
  SelectObject(dc, oldFont);
}

LRESULT TWin32MainMenuBar::MenuChar(wchar_t character) const {
  const wchar_t wanted = Upper(character);
  for (std::size_t i = 0; i < FShown.size(); ++i) {
    const TMenuEntry& entry = FShown[i];
    if (!entry.Separator && entry.Enabled && Upper(AccessCharacter(entry)) == wanted)
      return MAKELRESULT(static_cast<WORD>(i), MNC_EXECUTE);
  }
  return MAKELRESULT(0, MNC_IGNORE);
}

void TWin32MainMenuBar::PaintBarGround() {
  const TWin32Style* style = ActiveStyle();
  if (!style || !FMenu || GetMenu(FWindow) != FMenu) return;
  MENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  RECT window{};
  if (!GetMenuBarInfo(FWindow, OBJID_MENU, 0, &bar) || !GetWindowRect(FWindow, &window)) return;
  // The bar without its items (which draw themselves), and the line under it.
  RECT ground = bar.rcBar;
  ground.bottom += 1;
  HRGN region = CreateRectRgnIndirect(&ground);
  const int count = GetMenuItemCount(FMenu);
  for (int i = 0; i < count; ++i) {
    RECT item{};
    if (!GetMenuItemRect(FWindow, FMenu, static_cast<UINT>(i), &item)) continue;
    HRGN cut = CreateRectRgnIndirect(&item);
    CombineRgn(region, region, cut, RGN_DIFF);
    DeleteObject(cut);
  }
  OffsetRgn(region, -window.left, -window.top);
  HDC dc = GetWindowDC(FWindow);
  FillRgn(dc, region, SolidBrush(ColorRef(style->Colors.Bar)));
  ReleaseDC(FWindow, dc);
  DeleteObject(region);
}

LRESULT TWin32MainMenuBar::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  if (message == StyleChangedMessage()) {
    Rebuild();
    handled = false;  // the window has its own work to do
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 && lParam == 0) {
        if (const auto id = FCommands.Click(LOWORD(wParam))) {
          if (FOnClick) FOnClick(*id);
          return 0;
        }
      }
      break;
    case WM_MEASUREITEM: {
      auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (item.CtlType != ODT_MENU || !FOwnerDrawn) break;
      Measure(item);
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.CtlType != ODT_MENU || reinterpret_cast<HMENU>(item.hwndItem) != FMenu) break;
      Draw(item);
      return TRUE;
    }
    case WM_MENUCHAR:
      if (FOwnerDrawn && reinterpret_cast<HMENU>(lParam) == FMenu)
        return MenuChar(static_cast<wchar_t>(LOWORD(wParam)));
      break;
    case WM_ENTERMENULOOP:
      FTracking = true;
      break;
    case WM_EXITMENULOOP:
      FTracking = false;
      if (FRebuildPending) PostMessageW(FWindow, kRebuildMessage, 0, 0);
      break;
    case kRebuildMessage:
      if (FRebuildPending) Rebuild();
      return 0;
    case WM_NCPAINT:
    case WM_NCACTIVATE: {
      const LRESULT result = DefSubclassProc(FWindow, message, wParam, lParam);
      PaintBarGround();
      return result;
    }
    case WM_DPICHANGED: {
      // The window takes its new size first; then the bar its new pictures and fonts.
      const LRESULT result = DefSubclassProc(FWindow, message, wParam, lParam);
      Rebuild();
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(FWindow, &TWin32MainMenuBar::SubclassProc, kSubclassId);
      // The window destroys its menu with itself.
      if (FMenu && GetMenu(FWindow) == FMenu) FMenu = nullptr;
      FWindow = nullptr;
      handled = false;
      return 0;
    default:
      break;
  }
  handled = false;
  return 0;
}

LRESULT CALLBACK TWin32MainMenuBar::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  // No exception may unwind into the system's message dispatch.
  try {
    bool handled = false;
    const LRESULT result =
        reinterpret_cast<TWin32MainMenuBar*>(self)->Handle(message, wParam, lParam, handled);
    if (handled) return result;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: menu bar: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc: menu bar: unknown error\n");
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace velloc::platform::win32
