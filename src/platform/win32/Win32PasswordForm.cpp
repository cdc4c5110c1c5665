#include "platform/win32/Win32PasswordForm.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <exception>
#include <shellscalingapi.h>
#include <stdexcept>

#include "platform/Dialogs.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform::win32 {
namespace {

// The form's layout at 96 pixels per inch.
constexpr int kClientWidth = 308;
constexpr int kClientHeight = 71;
constexpr int kEditLeft = 24;
constexpr int kEditTop = 24;
constexpr int kEditWidth = 257;
constexpr int kEditHeight = 21;
constexpr int kKeySize = 16;
constexpr int kFontPoints = 8;
constexpr UINT_PTR kEditSubclass = 1;
constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

void RegisterFormClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kPasswordFormClass, &existing)) return;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;  // replaced by the form's own once it has its object
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(
      LoadImageW(instance, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hCursor = static_cast<HCURSOR>(
      LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kPasswordFormClass;
  if (!RegisterClassExW(&windowClass))
    throw std::runtime_error("Cannot register the password form");
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

void DrawPasswordKey(HDC dc, const RECT& area) {
  const int size = std::min(area.right - area.left, area.bottom - area.top);
  if (size < 4) return;
  const int x = area.left, y = area.top + (area.bottom - area.top - size) / 2;
  const auto at = [size](int sixteenths) { return sixteenths * size / 16; };
  HBRUSH gold = CreateSolidBrush(RGB(0xD4, 0xA0, 0x17));
  HPEN outline = CreatePen(PS_SOLID, std::max(1, size / 16), RGB(0x7A, 0x55, 0x00));
  const HGDIOBJ oldBrush = SelectObject(dc, gold);
  const HGDIOBJ oldPen = SelectObject(dc, outline);
  // The bow: a ring on the left.
  Ellipse(dc, x + at(0), y + at(4), x + at(8), y + at(12));
  // The blade with two teeth.
  Rectangle(dc, x + at(7), y + at(7), x + at(16), y + at(10));
  Rectangle(dc, x + at(11), y + at(9), x + at(13), y + at(13));
  Rectangle(dc, x + at(14), y + at(9), x + at(16), y + at(12));
  // The hole of the bow, in the edit box's colour.
  HBRUSH hole = SolidBrush(StyledSysColor(COLOR_WINDOW));
  SelectObject(dc, hole);
  Ellipse(dc, x + at(2), y + at(6), x + at(5), y + at(10));
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(gold);
  DeleteObject(outline);
}

TWin32PasswordForm::~TWin32PasswordForm() {
  Destroy();
}

int TWin32PasswordForm::Scale(int pixels) const {
  return MulDiv(pixels, static_cast<int>(FDpi), 96);
}

void TWin32PasswordForm::Create(const std::string& caption) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterFormClass(instance);
  // Centred on the primary screen (there is no main window yet), at that screen's dpi.
  const HMONITOR primary = MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
  UINT dpiX = 0, dpiY = 0;
  FDpi = SUCCEEDED(GetDpiForMonitor(primary, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) && dpiX > 0
             ? dpiX
             : GetDpiForSystem();
  if (FDpi == 0) FDpi = 96;

  // A dialog frame: fixed size, a close box, no minimise or maximise box.
  RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  AdjustWindowRectExForDpi(&frame, kFormStyle, FALSE, kFormExStyle, FDpi);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(primary, &monitor);
  const RECT& work = monitor.rcWork;
  const int left = work.left + (work.right - work.left - width) / 2;
  const int top = work.top + (work.bottom - work.top - height) / 2;

  FForm = CreateWindowExW(kFormExStyle, kPasswordFormClass, Widen(caption).c_str(), kFormStyle,
                          left, top, width, height, nullptr, nullptr, instance, nullptr);
  if (!FForm) return;
  SetWindowLongPtrW(FForm, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(FForm, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWin32PasswordForm::FormProc));
  FCorners.Attach(FForm);
  ApplyTitleBarStyle(FForm);

  FEdit = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_PASSWORD | ES_AUTOHSCROLL, 0, 0, 0,
      0, FForm, nullptr, instance, nullptr);
  if (!FEdit) throw std::runtime_error("Cannot create the password box");
  SendMessageW(FEdit, EM_SETPASSWORDCHAR, L'*', 0);
  SetWindowSubclass(FEdit, &TWin32PasswordForm::EditProc, kEditSubclass,
                    reinterpret_cast<DWORD_PTR>(this));
  // The key at the box's left end is decoration only: a drawn child that takes no input, with
  // the text starting after it.
  FKey = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | WS_DISABLED, 0,
                         0, 0, 0, FEdit, nullptr, instance, nullptr);
  // The window may have come up on a screen of another dpi than asked for.
  if (const UINT actual = GetDpiForWindow(FForm); actual != 0 && actual != FDpi) {
    FDpi = actual;
    RECT resized{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustWindowRectExForDpi(&resized, kFormStyle, FALSE, kFormExStyle, FDpi);
    SetWindowPos(FForm, nullptr, 0, 0, resized.right - resized.left, resized.bottom - resized.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Layout();
}

void TWin32PasswordForm::Layout() {
  HFONT font =
      CreateFontW(-MulDiv(kFontPoints, static_cast<int>(FDpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                  FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  SetWindowPos(FEdit, nullptr, Scale(kEditLeft), Scale(kEditTop), Scale(kEditWidth),
               Scale(kEditHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(FEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (FFont) DeleteObject(FFont);
  FFont = font;
  RECT inner{};
  GetClientRect(FEdit, &inner);
  const int keySize = std::min(Scale(kKeySize), static_cast<int>(inner.bottom));
  SetWindowPos(FKey, nullptr, Scale(2), (inner.bottom - keySize) / 2, keySize, keySize,
               SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(FEdit, EM_SETMARGINS, EC_LEFTMARGIN, MAKELPARAM(Scale(2) + keySize + Scale(3), 0));
}

void TWin32PasswordForm::Destroy() {
  if (FEdit) RemoveWindowSubclass(FEdit, &TWin32PasswordForm::EditProc, kEditSubclass);
  if (FForm) {
    SetWindowLongPtrW(FForm, GWLP_USERDATA, 0);
    FCorners.Detach();
    DestroyWindow(FForm);
  }
  FForm = FEdit = FKey = nullptr;
  if (FFont) DeleteObject(FFont);
  FFont = nullptr;
}

int TWin32PasswordForm::ShowModal(const std::string& caption, IPasswordFormEvents& events) {
  FEvents = &events;
  FResult.reset();
  Create(caption);
  if (!FForm) {
    FEvents = nullptr;
    std::fprintf(stderr, "%s: a password is required and no display is open\n", caption.c_str());
    return mrCancel;
  }
  ShowWindow(FForm, SW_SHOWNORMAL);
  SetForegroundWindow(FForm);
  // First in the tab order: the edit box has the focus when the form opens.
  SetFocus(FEdit);
  MSG message;
  while (!FResult) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // Someone ends the thread's loop: the form goes as if closed, and the loop's end with it.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      FResult = mrCancel;
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  FEvents = nullptr;
  Destroy();
  return FResult.value_or(mrCancel);
}

void TWin32PasswordForm::SetModalResult(int result) {
  FResult = result;
  // The loop may be waiting for a message; this one wakes it.
  if (FForm) PostMessageW(FForm, WM_NULL, 0, 0);
}

LRESULT TWin32PasswordForm::HandleEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CHAR:
      // Enter and Escape mean nothing here (and would only beep).
      if (wParam == VK_RETURN || wParam == VK_ESCAPE) return 0;
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const LRESULT handled = DefSubclassProc(window, message, wParam, lParam);
      // Whatever the key: the whole text is tested after every release.
      if (FEvents && !FResult) FEvents->PasswordEditKeyUp(Narrow(WindowText(window)));
      return handled;
    }
    case WM_NCPAINT:
      // In a built-in style the box's sunken edge is a frame of the style's border colour.
      if (const TWin32Style* style = ActiveStyle()) {
        RECT frame{};
        GetWindowRect(window, &frame);
        OffsetRect(&frame, -frame.left, -frame.top);
        HDC dc = GetWindowDC(window);
        const COLORREF border =
            ColorRef(GetFocus() == window ? style->Colors.Accent : style->Colors.Border);
        FrameRect(dc, &frame, SolidBrush(border));
        InflateRect(&frame, -1, -1);
        FrameRect(dc, &frame, SolidBrush(ColorRef(style->Colors.Surface)));
        ReleaseDC(window, dc);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      if (ActiveStyle()) RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
      return result;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.hwndItem != FKey) break;
      FillRect(item.hDC, &item.rcItem, SolidBrush(StyledSysColor(COLOR_WINDOW)));
      DrawPasswordKey(item.hDC, item.rcItem);
      return TRUE;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TWin32PasswordForm::EditProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TWin32PasswordForm*>(data);
  // No exception may unwind into the system's message dispatch.
  try {
    return self->HandleEdit(window, message, wParam, lParam);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: password form: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc: password form: unknown error\n");
  }
  return 0;
}

LRESULT CALLBACK TWin32PasswordForm::FormProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* self = reinterpret_cast<TWin32PasswordForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case WM_CLOSE:
        // The close box and Alt+F4: Cancel. The window goes when ShowModal is done with it.
        self->SetModalResult(mrCancel);
        return 0;
      case WM_SETFOCUS:
        if (self->FEdit) SetFocus(self->FEdit);
        return 0;
      case WM_ERASEBKGND:
        if (EraseStyledGround(window, reinterpret_cast<HDC>(wParam))) return 1;
        break;
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORSTATIC:
        // In a built-in style the box takes its colours.
        if (HBRUSH brush = StyledControlColor(message, reinterpret_cast<HDC>(wParam)))
          return reinterpret_cast<LRESULT>(brush);
        break;
      case WM_DPICHANGED: {
        // Moved to a screen of another dpi: the system's suggested size, the layout anew.
        self->FDpi = HIWORD(wParam);
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested.left, suggested.top,
                     suggested.right - suggested.left, suggested.bottom - suggested.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        self->Layout();
        return 0;
      }
      default:
        if (message == StyleChangedMessage()) {
          RedrawWindow(window, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
          return 0;
        }
        break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace velloc::platform::win32
