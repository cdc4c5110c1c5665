#include "platform/win32/Win32Dialogs.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <windows.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform {
namespace {

struct TButtonInfo {
  TMsgDlgBtn Button;
  const char* Caption;
  int Result;
};

constexpr TButtonInfo kButtons[] = {
    {TMsgDlgBtn::Yes, "&Yes", mrYes},
    {TMsgDlgBtn::No, "&No", mrNo},
    {TMsgDlgBtn::OK, "OK", mrOk},
    {TMsgDlgBtn::Cancel, "Cancel", mrCancel},
    {TMsgDlgBtn::Abort, "&Abort", mrAbort},
    {TMsgDlgBtn::Retry, "&Retry", mrRetry},
    {TMsgDlgBtn::Ignore, "&Ignore", mrIgnore},
    {TMsgDlgBtn::All, "&All", mrAll},
    {TMsgDlgBtn::NoToAll, "N&o to All", mrNoToAll},
    {TMsgDlgBtn::YesToAll, "Yes to &All", mrYesToAll},
    {TMsgDlgBtn::Help, "&Help", mrHelp},
    {TMsgDlgBtn::Close, "&Close", mrClose},
};

// Button control ids: the result above a base that keeps clear of IDOK and IDCANCEL, which the
// dialog manager sends for Enter without a default button and for Escape.
constexpr int kButtonIdBase = 100;
// Texts longer than this are cut: a dialog sizes itself to its text, and a page's text could
// make it taller than any screen.
constexpr std::size_t kMaxMessageCharacters = 4000;

bool Has(const std::vector<TMsgDlgBtn>& buttons, TMsgDlgBtn button) {
  return std::find(buttons.begin(), buttons.end(), button) != buttons.end();
}

LPCWSTR IconOf(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::Warning:
      return IDI_WARNING;
    case TMsgDlgType::Error:
      return IDI_ERROR;
    case TMsgDlgType::Information:
      return IDI_INFORMATION;
    case TMsgDlgType::Confirmation:
      return IDI_QUESTION;
    case TMsgDlgType::Custom:
      break;
  }
  return nullptr;
}

UINT SoundOf(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::Warning:
      return MB_ICONWARNING;
    case TMsgDlgType::Error:
      return MB_ICONERROR;
    case TMsgDlgType::Information:
      return MB_ICONINFORMATION;
    case TMsgDlgType::Confirmation:
      return MB_ICONQUESTION;
    case TMsgDlgType::Custom:
      break;
  }
  return MB_OK;
}

struct TDialogSpec {
  std::wstring Message;
  std::wstring Title;
  LPCWSTR Icon;
  std::vector<TWin32Dialogs::TButton> Buttons;
  int DefaultResult;
  int EscapeResult;
  HFONT Font = nullptr;
  // A dialog that does not block: owned by its window, which ends by DestroyWindow and then
  // tells `Answered`.
  bool Modeless = false;
  std::function<void(int)> Answered;
};

TDialogSpec MakeSpec(const std::string& message, TMsgDlgType kind,
                     const std::vector<TMsgDlgBtn>& buttons,
                     const std::vector<std::string>& captions, const std::string& title) {
  TDialogSpec spec;
  spec.Message = win32::Widen(message);
  if (spec.Message.size() > kMaxMessageCharacters) {
    spec.Message.resize(kMaxMessageCharacters);
    spec.Message += L"\u2026";
  }
  spec.Title = win32::Widen(title);
  spec.Icon = IconOf(kind);
  spec.Buttons = TWin32Dialogs::LaidOutButtons(buttons, captions);
  spec.DefaultResult = TWin32Dialogs::DefaultResult(buttons);
  spec.EscapeResult = TWin32Dialogs::EscapeResult(buttons);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    spec.Font = ::CreateFontIndirectW(&metrics.lfMessageFont);
  if (!spec.Font) spec.Font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  return spec;
}

void FreeFont(TDialogSpec& spec) {
  if (spec.Font != ::GetStockObject(DEFAULT_GUI_FONT)) ::DeleteObject(spec.Font);
  spec.Font = nullptr;
}

// The open dialogs of ShowModeless, for the message loop's keyboard navigation.
std::vector<HWND>& ModelessDialogs() {
  static std::vector<HWND> dialogs;
  return dialogs;
}

// An empty dialog template: the controls are made and placed when it opens.
struct TEmptyTemplate {
  TEmptyTemplate() {
    auto* header = reinterpret_cast<DLGTEMPLATE*>(Words);
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    // Menu, class and title words follow the header and stay zero.
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(Words); }
  alignas(DWORD) WORD Words[16] = {};
};

SIZE TextSize(HDC dc, const std::wstring& text) {
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

// Creates the dialog's controls and sizes it around them: the icon and the text above a row of
// buttons on the right, the whole centred on the screen of the owner (or the primary screen).
void LayOut(HWND dialog, TDialogSpec& spec) {
  HDC dc = ::GetDC(dialog);
  const HGDIOBJ oldFont = ::SelectObject(dc, spec.Font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  const int unit = std::max<int>(metrics.tmHeight, 8);  // everything scales with the font
  const int margin = unit * 3 / 4;
  const int gap = unit / 2;
  const int iconSize = spec.Icon ? ::GetSystemMetrics(SM_CXICON) : 0;

  HMONITOR monitor = ::MonitorFromWindow(::GetParent(dialog), MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  ::GetMonitorInfoW(monitor, &screen);
  const RECT& work = screen.rcWork;
  const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;

  RECT textRect{0, 0, std::min<int>(metrics.tmAveCharWidth * 60, workWidth * 2 / 3), 0};
  ::DrawTextW(dc, spec.Message.c_str(), static_cast<int>(spec.Message.size()), &textRect,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
  const int textWidth = textRect.right, textHeight = std::min<int>(textRect.bottom, workHeight / 2);

  const int buttonHeight = unit * 7 / 4;
  std::vector<int> buttonWidths;
  int rowWidth = 0;
  for (const auto& button : spec.Buttons) {
    const int width =
        std::max<int>(unit * 5, TextSize(dc, win32::Widen(button.Caption)).cx + unit * 2);
    buttonWidths.push_back(width);
    rowWidth += width + (rowWidth > 0 ? gap : 0);
  }
  ::SelectObject(dc, oldFont);
  ::ReleaseDC(dialog, dc);

  const int contentWidth = std::max(iconSize + (iconSize ? margin : 0) + textWidth, rowWidth);
  const int topHeight = std::max(iconSize, textHeight);
  const int clientWidth = margin * 2 + contentWidth;
  const int clientHeight =
      margin * 2 + topHeight + (spec.Buttons.empty() ? 0 : margin + buttonHeight);

  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (spec.Icon) {
    HWND icon = ::CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, margin,
                                  margin, iconSize, iconSize, dialog, nullptr, instance, nullptr);
    ::SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconW(nullptr, spec.Icon)), 0);
  }
  const int textLeft = margin + iconSize + (iconSize ? margin : 0);
  const int textTop = margin + (topHeight - textHeight) / 2;
  HWND text =
      ::CreateWindowExW(0, L"STATIC", spec.Message.c_str(),
                        WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, textLeft,
                        textTop, textWidth, textHeight, dialog, nullptr, instance, nullptr);
  ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(spec.Font), FALSE);

  int left = clientWidth - margin - rowWidth;
  const int buttonTop = clientHeight - margin - buttonHeight;
  HWND defaultButton = nullptr;
  for (std::size_t i = 0; i < spec.Buttons.size(); ++i) {
    const auto& button = spec.Buttons[i];
    const bool isDefault = button.Result == spec.DefaultResult;
    HWND control = ::CreateWindowExW(
        0, L"BUTTON", win32::Widen(button.Caption).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), left,
        buttonTop, buttonWidths[i], buttonHeight, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonIdBase + button.Result)), instance,
        nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(spec.Font), FALSE);
    if (isDefault) defaultButton = control;
    left += buttonWidths[i] + gap;
  }

  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE));
  RECT frame{0, 0, clientWidth, clientHeight};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  ::SetWindowPos(dialog, nullptr, work.left + (workWidth - width) / 2,
                 work.top + (workHeight - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowTextW(dialog, spec.Title.c_str());
  if (defaultButton) {
    ::SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(kButtonIdBase + spec.DefaultResult), 0);
    ::SetFocus(defaultButton);
  } else if (HWND first = ::GetNextDlgTabItem(dialog, nullptr, FALSE)) {
    ::SetFocus(first);
  }
}

// Ends the dialog with `result`: a modal one returns it from its call, a modeless one goes and
// then tells its owner.
void Finish(HWND dialog, int result) {
  auto* spec = reinterpret_cast<TDialogSpec*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!spec || !spec->Modeless) {
    ::EndDialog(dialog, result);
    return;
  }
  std::function<void(int)> answered = std::move(spec->Answered);
  spec->Answered = nullptr;
  ::DestroyWindow(dialog);
  if (answered) answered(result);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // A system callback: nothing may be thrown through it.
  try {
    switch (message) {
      case WM_INITDIALOG: {
        auto* spec = reinterpret_cast<TDialogSpec*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        LayOut(dialog, *spec);
        win32::ApplyTitleBarStyle(dialog);
        ::SetForegroundWindow(dialog);
        return FALSE;  // the focus is set
      }
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
        // In a built-in style the ground and the text take its colours.
        return reinterpret_cast<INT_PTR>(
            win32::StyledControlColor(message, reinterpret_cast<HDC>(wParam)));
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        LRESULT result = 0;
        if (header->code != NM_CUSTOMDRAW ||
            !win32::DrawStyledButton(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam), result))
          return FALSE;
        ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
        return TRUE;
      }
      case WM_COMMAND: {
        const auto* spec = reinterpret_cast<TDialogSpec*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {  // Escape
          if (spec && spec->EscapeResult != mrNone) Finish(dialog, spec->EscapeResult);
        } else if (id > kButtonIdBase && HIWORD(wParam) == BN_CLICKED) {
          Finish(dialog, id - kButtonIdBase);
        }
        return TRUE;
      }
      case WM_CLOSE:  // the close box, Alt+F4
        Finish(dialog, mrCancel);
        return TRUE;
      case WM_NCDESTROY: {
        // A modeless dialog's description lives as long as its window.
        auto* spec = reinterpret_cast<TDialogSpec*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        if (spec && spec->Modeless) {
          ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
          auto& open = ModelessDialogs();
          open.erase(std::remove(open.begin(), open.end(), dialog), open.end());
          FreeFont(*spec);
          delete spec;
        }
        return FALSE;
      }
      default:
        if (message == win32::StyleChangedMessage()) {
          ::RedrawWindow(dialog, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
          return TRUE;
        }
        return FALSE;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velloc dialog: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "velloc dialog: unknown error\n");
  }
  Finish(dialog, mrCancel);
  return TRUE;
}

}  // namespace

std::vector<TWin32Dialogs::TButton> TWin32Dialogs::LaidOutButtons(
    const std::vector<TMsgDlgBtn>& buttons, const std::vector<std::string>& captions) {
  std::vector<TButton> laidOut;
  for (const TButtonInfo& info : kButtons) {
    if (!Has(buttons, info.Button)) continue;
    const std::size_t index = laidOut.size();
    laidOut.push_back({info.Result, index < captions.size() ? captions[index] : info.Caption});
  }
  return laidOut;
}

int TWin32Dialogs::DefaultResult(const std::vector<TMsgDlgBtn>& buttons) {
  return Has(buttons, TMsgDlgBtn::OK) ? mrOk : Has(buttons, TMsgDlgBtn::Yes) ? mrYes : mrRetry;
}

int TWin32Dialogs::EscapeResult(const std::vector<TMsgDlgBtn>& buttons) {
  return Has(buttons, TMsgDlgBtn::Cancel) ? mrCancel
         : Has(buttons, TMsgDlgBtn::No)   ? mrNo
         : Has(buttons, TMsgDlgBtn::OK)   ? mrOk
                                          : mrNone;
}

int TWin32Dialogs::MessageDlg(const std::string& message, TMsgDlgType kind,
                              const std::vector<TMsgDlgBtn>& buttons,
                              const std::vector<std::string>& captions, const std::string& title) {
  TDialogSpec spec = MakeSpec(message, kind, buttons, captions, title);
  const TEmptyTemplate dialogTemplate;
  ::MessageBeep(SoundOf(kind));
  const INT_PTR result =
      ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialogTemplate.Get(),
                                ::GetActiveWindow(), DialogProc, reinterpret_cast<LPARAM>(&spec));
  FreeFont(spec);
  if (result > 0) return static_cast<int>(result);
  // A dialog that could not be made (no desktop, as in a headless test run) says its text on
  // standard error and answers as its close box does.
  std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
  return mrCancel;
}

HWND TWin32Dialogs::ShowModeless(HWND owner, const std::string& message, TMsgDlgType kind,
                                 const std::vector<TMsgDlgBtn>& buttons,
                                 const std::vector<std::string>& captions, const std::string& title,
                                 std::function<void(int)> answered) {
  auto spec = std::make_unique<TDialogSpec>(MakeSpec(message, kind, buttons, captions, title));
  spec->Modeless = true;
  spec->Answered = std::move(answered);
  const TEmptyTemplate dialogTemplate;
  HWND dialog =
      ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), dialogTemplate.Get(), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(spec.get()));
  if (!dialog) {
    FreeFont(*spec);
    return nullptr;
  }
  spec.release();  // the window's now: freed when it is destroyed
  ModelessDialogs().push_back(dialog);
  ::MessageBeep(SoundOf(kind));
  ::ShowWindow(dialog, SW_SHOW);
  return dialog;
}

void TWin32Dialogs::CloseModeless(HWND dialog) {
  if (!dialog || !::IsWindow(dialog)) return;
  if (auto* spec = reinterpret_cast<TDialogSpec*>(::GetWindowLongPtrW(dialog, DWLP_USER)))
    spec->Answered = nullptr;
  ::DestroyWindow(dialog);
}

bool TWin32Dialogs::IsModelessMessage(MSG& message) {
  // A copy: a dialog may go while it handles the message.
  const std::vector<HWND> open = ModelessDialogs();
  for (HWND dialog : open) {
    if (::IsWindow(dialog) && ::IsDialogMessageW(dialog, &message)) return true;
  }
  return false;
}

void TWin32Dialogs::ShowMessage(const std::string& title, const std::string& message, bool error) {
  MessageDlg(message, error ? TMsgDlgType::Error : TMsgDlgType::Information, {TMsgDlgBtn::OK}, {},
             title);
}

void ShowApplicationError(const std::string& message) {
  std::fprintf(stderr, "Application Error: %s\n", message.c_str());
  std::wstring text = win32::Widen(message);
  if (text.size() > kMaxMessageCharacters) text.resize(kMaxMessageCharacters);
  ::MessageBoxW(nullptr, text.c_str(), L"Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace velloc::platform
