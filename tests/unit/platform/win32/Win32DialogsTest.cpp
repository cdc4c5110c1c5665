// The message dialog: buttons in the standard order with the captions given, the default and
// Escape buttons, the close box; on screen where a display exists (Wine makes no window
// without one), driven by a timer on the dialog's own thread as a person would use it.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/Win32Dialogs.h"

namespace velloc::platform {
namespace {

using B = TMsgDlgBtn;

TEST(Win32Dialogs, ButtonsDefaultAndEscapeFollowTheStandardOrder) {
  const struct {
    std::vector<B> Buttons;
    std::vector<std::string> Captions;
    std::vector<std::string> Laid;
    std::vector<int> Results;
    int Default, Escape;
  } cases[] = {
      {{B::Yes}, {"Accept"}, {"Accept"}, {mrYes}, mrYes, mrNone},
      {{B::Yes}, {"Accept", "surplus"}, {"Accept"}, {mrYes}, mrYes, mrNone},
      {{B::Cancel, B::Yes},
       {"Aceptar", "Cancelar"},
       {"Aceptar", "Cancelar"},
       {mrYes, mrCancel},
       mrYes,
       mrCancel},
      {{B::Cancel, B::OK, B::Yes},
       {"1"},
       {"1", "OK", "Cancel"},
       {mrYes, mrOk, mrCancel},
       mrOk,
       mrCancel},
      {{B::Retry, B::No}, {}, {"&No", "&Retry"}, {mrNo, mrRetry}, mrRetry, mrNo},
      {{B::OK}, {}, {"OK"}, {mrOk}, mrOk, mrOk},
      {{B::Close, B::Help, B::YesToAll, B::NoToAll, B::All},
       {},
       {"&All", "N&o to All", "Yes to &All", "&Help", "&Close"},
       {mrAll, mrNoToAll, mrYesToAll, mrHelp, mrClose},
       mrRetry,
       mrNone},
  };
  for (const auto& c : cases) {
    const auto laid = TWin32Dialogs::LaidOutButtons(c.Buttons, c.Captions);
    std::vector<std::string> captions;
    std::vector<int> results;
    for (const auto& button : laid) {
      captions.push_back(button.Caption);
      results.push_back(button.Result);
    }
    EXPECT_EQ(captions, c.Laid);
    EXPECT_EQ(results, c.Results);
    EXPECT_EQ(TWin32Dialogs::DefaultResult(c.Buttons), c.Default);
    EXPECT_EQ(TWin32Dialogs::EscapeResult(c.Buttons), c.Escape);
  }
}

// What a person does with the open dialog.
enum class TAction { Enter, Escape, CloseBox, ClickLast };

struct TDrive {
  TAction Action = TAction::Enter;
  int Ticks = 0;
  std::wstring Title;
  std::vector<std::wstring> Captions;  // left to right
  std::wstring DefaultCaption;
  bool StillOpenAfterEscape = false;
};

TDrive* GDrive = nullptr;

HWND FindDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM result) -> BOOL {
        wchar_t name[16] = {};
        ::GetClassNameW(window, name, 16);
        if (std::wstring(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  TDrive& drive = *GDrive;
  HWND dialog = FindDialog();
  if (!dialog) return;
  ++drive.Ticks;
  if (drive.Ticks == 1) {
    drive.Title = TextOf(dialog);
    std::vector<std::pair<LONG, HWND>> buttons;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      wchar_t name[16] = {};
      ::GetClassNameW(child, name, 16);
      if (std::wstring(name) != L"Button") continue;
      RECT rect{};
      ::GetWindowRect(child, &rect);
      buttons.emplace_back(rect.left, child);
    }
    std::sort(buttons.begin(), buttons.end());
    for (const auto& [left, button] : buttons) {
      drive.Captions.push_back(TextOf(button));
      if ((::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        drive.DefaultCaption = TextOf(button);
    }
    switch (drive.Action) {
      case TAction::Enter:
      case TAction::Escape: {
        const WPARAM key = drive.Action == TAction::Enter ? VK_RETURN : VK_ESCAPE;
        HWND focus = ::GetFocus();
        ::PostMessageW(focus ? focus : dialog, WM_KEYDOWN, key, 0);
        ::PostMessageW(focus ? focus : dialog, WM_KEYUP, key, 0xC0000000);
        break;
      }
      case TAction::CloseBox:
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case TAction::ClickLast:
        ::PostMessageW(buttons.back().second, BM_CLICK, 0, 0);
        break;
    }
  } else if (drive.Ticks == 3) {
    // Still open: Escape did nothing; the close box ends it.
    drive.StillOpenAfterEscape = true;
    ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::KillTimer(nullptr, timer);
  }
}

bool HaveDisplay() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
  if (probe) ::DestroyWindow(probe);
  return probe != nullptr;
}

TEST(Win32Dialogs, WithoutADisplayTheTextGoesToStandardError) {
  if (HaveDisplay()) GTEST_SKIP() << "a display: the dialog shows";
  ::testing::internal::CaptureStderr();
  const int result =
      TWin32Dialogs().MessageDlg("Questa non è un'applicazione Windows valida.", TMsgDlgType::Error,
                                 {B::Yes}, {"Accettare"}, "Errore");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(said, "Errore: Questa non è un'applicazione Windows valida.\n");
}

TEST(Win32Dialogs, OnScreenAsAPersonUsesIt) {
  if (!HaveDisplay()) GTEST_SKIP() << "no window without a display";
  const struct {
    std::vector<B> Buttons;
    std::vector<std::string> Captions;
    TAction Action;
    int Result;
    std::vector<std::wstring> Shown;
    std::wstring Default;
    bool EscapeIgnored;
  } cases[] = {
      {{B::Yes}, {"Akzeptieren"}, TAction::Enter, mrYes, {L"Akzeptieren"}, L"Akzeptieren", false},
      {{B::Yes},
       {"Akzeptieren"},
       TAction::Escape,
       mrCancel,
       {L"Akzeptieren"},
       L"Akzeptieren",
       true},
      {{B::Yes}, {"接受"}, TAction::CloseBox, mrCancel, {L"\u63a5\u53d7"}, L"\u63a5\u53d7", false},
      {{B::Yes, B::Cancel},
       {"J'accepte", "Annuler"},
       TAction::Escape,
       mrCancel,
       {L"J'accepte", L"Annuler"},
       L"J'accepte",
       false},
      {{B::Yes, B::Cancel},
       {"J'accepte", "Annuler"},
       TAction::Enter,
       mrYes,
       {L"J'accepte", L"Annuler"},
       L"J'accepte",
       false},
      {{B::Retry, B::No}, {}, TAction::Escape, mrNo, {L"&No", L"&Retry"}, L"&Retry", false},
      {{B::Abort, B::Retry, B::Ignore},
       {},
       TAction::ClickLast,
       mrIgnore,
       {L"&Abort", L"&Retry", L"&Ignore"},
       L"&Retry",
       false},
  };
  TWin32Dialogs dialogs;
  for (const auto& c : cases) {
    TDrive drive;
    drive.Action = c.Action;
    GDrive = &drive;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, DriveDialog);
    const int result = dialogs.MessageDlg("Dies ist keine gültige Windows-Anwendung.",
                                          TMsgDlgType::Error, c.Buttons, c.Captions, "Fehler");
    ::KillTimer(nullptr, timer);
    GDrive = nullptr;
    EXPECT_EQ(result, c.Result);
    EXPECT_EQ(drive.Title, L"Fehler");
    EXPECT_EQ(drive.Captions, c.Shown);
    EXPECT_EQ(drive.DefaultCaption, c.Default);
    EXPECT_EQ(drive.StillOpenAfterEscape, c.EscapeIgnored);
  }
}

}  // namespace
}  // namespace velloc::platform
