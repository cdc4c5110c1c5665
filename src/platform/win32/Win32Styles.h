// The styles on Win32. A built-in style is its colour scheme, which every window the runtime draws
// reads when it paints: the main window and its menu bar, the message dialogs, the password form
// and the installer's busy form (their grounds, texts, edit boxes and push buttons), and the title
// bars through the desktop window manager (dark mode, and on Windows 11 the caption, text and
// border colours). The system style "Windows" is no scheme at all: everything is drawn as the
// system draws it. Pop-up menus always keep the system's look.
//
// Switching restyles every top-level window of the user-interface thread: its title bar at once,
// then each is told by StyleChangedMessage (posted to visible windows, sent to hidden ones) and
// repainted whole.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include <windows.h>

// After windows.h, which it needs.
#include <commctrl.h>

#include "core/StyleScheme.h"
#include "platform/Styles.h"

namespace velloc::platform::win32 {

// 0xRRGGBB as a COLORREF (0x00BBGGRR).
constexpr COLORREF ColorRef(TRgb rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A built-in style as Win32 draws it.
struct TWin32Style {
  TStyleScheme Colors;
  int Rounding = 0;  // corner radius of buttons, in pixels at 96 dpi
};

// The style the runtime draws with now; null while the system style is active.
const TWin32Style* ActiveStyle();

// A system colour (COLOR_*) as the active style has it; the system's own without a style.
COLORREF StyledSysColor(int index);
// A solid brush of a colour, kept for the life of the process (there are few colours).
HBRUSH SolidBrush(COLORREF color);
// The ground of a form or window: the style's window colour, else the system colour `index`.
HBRUSH StyledGroundBrush(int index);

// WM_ERASEBKGND of a window whose ground is the form colour: fills it in the style's window colour
// and answers true; false while the system style is active (the class brush applies).
bool EraseStyledGround(HWND window, HDC dc);

// Told to every top-level window of the thread after the style changed (a registered message).
UINT StyleChangedMessage();

// The title bar attributes for a style's colours (null: the system's own), in the order they are
// set.
struct TDwmAttribute {
  DWORD Attribute;
  std::uint32_t Value;
};
std::vector<TDwmAttribute> TitleBarAttributes(const TStyleScheme* colors);
inline constexpr DWORD kDwmUseImmersiveDarkMode = 20;
inline constexpr DWORD kDwmUseImmersiveDarkModeBefore20H1 = 19;
inline constexpr DWORD kDwmBorderColor = 34;
inline constexpr DWORD kDwmCaptionColor = 35;
inline constexpr DWORD kDwmTextColor = 36;
inline constexpr std::uint32_t kDwmColorDefault = 0xFFFFFFFF;

// DwmSetWindowAttribute's signature; tests pass their own to see the calls.
using TDwmSetAttribute = std::function<HRESULT(HWND, DWORD, const void*, DWORD)>;
// The title bar of a top-level window in the active style. A system without an attribute (Windows
// 10 has no caption colours, Wine none at all) refuses it and keeps its own look.
void ApplyTitleBarStyle(HWND window, const TDwmSetAttribute& set = nullptr);

// WM_CTLCOLOR* of a styled form or dialog: sets the colours of the control's DC and answers the
// brush of its ground; null while the system style is active (the default handling applies).
HBRUSH StyledControlColor(UINT message, HDC dc);

// NM_CUSTOMDRAW of a push button in a styled form or dialog: draws the whole button and answers
// true with the result for the notification; false while the system style is active or for
// buttons of other kinds.
bool DrawStyledButton(const NMCUSTOMDRAW& draw, LRESULT& result);

class TWin32StyleEngine final : public IStyleEngine {
 public:
  // `setAttribute`: the title bars' DWM call, for tests.
  explicit TWin32StyleEngine(TDwmSetAttribute setAttribute = nullptr);
  TWin32StyleEngine(const TWin32StyleEngine&) = delete;
  TWin32StyleEngine& operator=(const TWin32StyleEngine&) = delete;
  // The windows go back to the system's look.
  ~TWin32StyleEngine() override;

  bool LoadStyle(const TStyleDefinition& style) override;
  void ActivateStyle(const TStyleDefinition* style) override;
  // Pop-up menus are drawn by the system in every style on Win32, so there is nothing to exclude.
  void ExcludeMenusFromStyling() override {}

 private:
  void Restyle();

  TDwmSetAttribute FSetAttribute;
  std::map<std::string, TWin32Style, std::less<>> FLoaded;
};

}  // namespace velloc::platform::win32
