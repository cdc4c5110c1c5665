#include "platform/win32/Win32Styles.h"

#include <algorithm>
#include <string_view>

#include "platform/win32/Win32Dwm.h"

namespace velloc::platform::win32 {
namespace {

const TWin32Style* GActive = nullptr;

// The style's colour for a system colour: the pairs a form's parts are drawn with.
TRgb SchemeColor(const TStyleScheme& s, int index, bool& found) {
  found = true;
  switch (index) {
    case COLOR_WINDOW:
      return s.Surface;
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
    case COLOR_MENUTEXT:
    case COLOR_CAPTIONTEXT:
      return s.Text;
    case COLOR_BTNFACE:
    case COLOR_MENU:
    case COLOR_APPWORKSPACE:
    case COLOR_BACKGROUND:
      return s.Background;
    case COLOR_MENUBAR:
    case COLOR_ACTIVECAPTION:
    case COLOR_GRADIENTACTIVECAPTION:
      return s.Bar;
    case COLOR_HIGHLIGHT:
    case COLOR_HOTLIGHT:
    case COLOR_MENUHILIGHT:
      return s.Selection;
    case COLOR_HIGHLIGHTTEXT:
      return s.SelectionText;
    case COLOR_GRAYTEXT:
    case COLOR_INACTIVECAPTIONTEXT:
      return s.Disabled;
    case COLOR_BTNSHADOW:
    case COLOR_3DDKSHADOW:
    case COLOR_WINDOWFRAME:
    case COLOR_ACTIVEBORDER:
    case COLOR_INACTIVEBORDER:
      return s.Border;
    case COLOR_BTNHIGHLIGHT:
    case COLOR_3DLIGHT:
      return s.Button;
    case COLOR_INFOBK:
      return s.TooltipBackground;
    case COLOR_INFOTEXT:
      return s.TooltipText;
    case COLOR_INACTIVECAPTION:
    case COLOR_GRADIENTINACTIVECAPTION:
      return s.Sidebar;
    default:
      found = false;
      return 0;
  }
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void FillRounded(HDC dc, const RECT& rect, COLORREF fill, COLORREF border, int radius) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, border);
  const HGDIOBJ oldBrush = SelectObject(dc, brush);
  const HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius * 2, radius * 2);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

}  // namespace

const TWin32Style* ActiveStyle() {
  return GActive;
}

COLORREF StyledSysColor(int index) {
  if (GActive) {
    bool found = false;
    const TRgb color = SchemeColor(GActive->Colors, index, found);
    if (found) return ColorRef(color);
  }
  return GetSysColor(index);
}

HBRUSH SolidBrush(COLORREF color) {
  static std::map<COLORREF, HBRUSH> brushes;
  HBRUSH& brush = brushes[color];
  if (!brush) brush = CreateSolidBrush(color);
  return brush;
}

HBRUSH StyledGroundBrush(int index) {
  return GActive ? SolidBrush(ColorRef(GActive->Colors.Background)) : GetSysColorBrush(index);
}

bool EraseStyledGround(HWND window, HDC dc) {
  if (!GActive) return false;
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, SolidBrush(ColorRef(GActive->Colors.Background)));
  return true;
}

UINT StyleChangedMessage() {
  static const UINT message = RegisterWindowMessageW(L"VellocStyleChanged");
  return message;
}

std::vector<TDwmAttribute> TitleBarAttributes(const TStyleScheme* colors) {
  if (!colors) {
    return {{kDwmUseImmersiveDarkMode, 0},
            {kDwmCaptionColor, kDwmColorDefault},
            {kDwmTextColor, kDwmColorDefault},
            {kDwmBorderColor, kDwmColorDefault}};
  }
  // Dark mode where the style's bar is dark, so the system's own parts of the frame (the caption
  // buttons) match it; Windows 11 then takes the bar's colours as they are.
  const bool dark = RelativeLuminance(colors->Bar) < 0.2;
  return {{kDwmUseImmersiveDarkMode, dark ? 1u : 0u},
          {kDwmCaptionColor, ColorRef(colors->Bar)},
          {kDwmTextColor, ColorRef(colors->BarText)},
          {kDwmBorderColor, ColorRef(colors->Border)}};
}

void ApplyTitleBarStyle(HWND window, const TDwmSetAttribute& set) {
  if (!window || (GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return;
  const auto call = [&](DWORD attribute, std::uint32_t value) {
    if (set) return set(window, attribute, &value, sizeof value);
    if (const TDwmSetWindowAttribute system = DwmSetWindowAttributeEntry())
      return system(window, attribute, &value, sizeof value);
    return E_NOTIMPL;
  };
  for (const TDwmAttribute& attribute : TitleBarAttributes(GActive ? &GActive->Colors : nullptr)) {
    const HRESULT result = call(attribute.Attribute, attribute.Value);
    // Windows 10 before 20H1 knew dark mode under another number.
    if (attribute.Attribute == kDwmUseImmersiveDarkMode && FAILED(result))
      call(kDwmUseImmersiveDarkModeBefore20H1, attribute.Value);
  }
}

HBRUSH StyledControlColor(UINT message, HDC dc) {
  if (!GActive) return nullptr;
  const TStyleScheme& s = GActive->Colors;
  const bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
  const TRgb ground = field ? s.Surface : s.Background;
  SetTextColor(dc, ColorRef(s.Text));
  SetBkColor(dc, ColorRef(ground));
  return SolidBrush(ColorRef(ground));
}

bool DrawStyledButton(const NMCUSTOMDRAW& draw, LRESULT& result) {
  if (!GActive) return false;
  const auto kind =
      static_cast<DWORD>(GetWindowLongPtrW(draw.hdr.hwndFrom, GWL_STYLE)) & BS_TYPEMASK;
  if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON) return false;
  if (draw.dwDrawStage != CDDS_PREPAINT) {
    result = CDRF_DODEFAULT;
    return true;
  }
  const TStyleScheme& s = GActive->Colors;
  const bool disabled = (draw.uItemState & CDIS_DISABLED) != 0;
  const bool pressed = (draw.uItemState & CDIS_SELECTED) != 0;
  const bool hot = (draw.uItemState & CDIS_HOT) != 0;
  const bool focused = (draw.uItemState & CDIS_FOCUS) != 0;
  const bool isDefault = kind == BS_DEFPUSHBUTTON;
  HDC dc = draw.hdc;
  const RECT& rect = draw.rc;

  // The parent's ground first: the rounded corners show it.
  FillRect(dc, &rect, SolidBrush(ColorRef(s.Background)));
  TRgb fill = s.Button, border = s.Border, text = s.Text;
  if (disabled) {
    fill = s.Background;
    text = s.Disabled;
    border = Mix(s.Border, s.Background, 0.5);
  } else if (isDefault) {
    fill = pressed ? Mix(s.Accent, 0x000000, 0.15)
           : hot   ? Mix(s.Accent, s.AccentText, 0.12)
                   : s.Accent;
    text = s.AccentText;
    border = Mix(s.Accent, 0x000000, 0.15);
  } else {
    fill = pressed ? s.ButtonActive : hot ? s.ButtonHover : s.Button;
    if (pressed || focused) border = s.Accent;
  }
  const UINT dpi = GetDpiForWindow(draw.hdr.hwndFrom);
  const int radius = MulDiv(GActive->Rounding, static_cast<int>(dpi ? dpi : 96), 96);
  FillRounded(dc, rect, ColorRef(fill), ColorRef(border), radius);

  const std::wstring caption = WindowText(draw.hdr.hwndFrom);
  RECT textRect = rect;
  if (pressed) OffsetRect(&textRect, 1, 1);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorRef(text));
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  const auto cues = SendMessageW(draw.hdr.hwndFrom, WM_QUERYUISTATE, 0, 0);
  if (cues & UISF_HIDEACCEL) format |= DT_HIDEPREFIX;
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect, format);
  if (focused && !(cues & UISF_HIDEFOCUS)) {
    RECT focus = rect;
    InflateRect(&focus, -3, -3);
    SetTextColor(dc, ColorRef(text));
    DrawFocusRect(dc, &focus);
  }
  result = CDRF_SKIPDEFAULT;
  return true;
}

TWin32StyleEngine::TWin32StyleEngine(TDwmSetAttribute setAttribute)
    : FSetAttribute(std::move(setAttribute)) {}

TWin32StyleEngine::~TWin32StyleEngine() {
  if (!GActive) return;
  GActive = nullptr;
  Restyle();
}

bool TWin32StyleEngine::LoadStyle(const TStyleDefinition& style) {
  FLoaded.insert_or_assign(std::string(style.Name),
                           TWin32Style{DeriveScheme(style.Palette), style.Palette.Rounding});
  return true;
}

void TWin32StyleEngine::ActivateStyle(const TStyleDefinition* style) {
  const TWin32Style* next = nullptr;
  if (style) {
    const auto found = FLoaded.find(style->Name);
    if (found == FLoaded.end()) return;  // never loaded: the manager loads before activating
    next = &found->second;
  }
  if (next == GActive) return;
  GActive = next;
  Restyle();
}

void TWin32StyleEngine::Restyle() {
  std::vector<HWND> windows;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  const UINT changed = StyleChangedMessage();
  for (HWND window : windows) {
    if (!IsWindow(window)) continue;  // a window that went while another was told
    ApplyTitleBarStyle(window, FSetAttribute);
    if (IsWindowVisible(window)) {
      PostMessageW(window, changed, 0, 0);
      // The frame too: Windows 10 redraws its title bar in dark mode only when told.
      SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    } else {
      SendMessageW(window, changed, 0, 0);
    }
  }
}

}  // namespace velloc::platform::win32
