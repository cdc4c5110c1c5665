// The password form on Wine's window manager, with the core's rule behind it: keys are typed
// into the edit box by a timer on the form's own thread, as Win32 messages, the way a keyboard
// delivers them (the character, then the key's release).
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Dialogs.h"
#include "platform/win32/Win32PasswordForm.h"
#include "startup/RequirePasswordForm.h"

namespace velloc::platform::win32 {
namespace {

// One step of what a person does, taken at each timer tick while the form shows.
using TStep = std::function<void(HWND form, HWND edit)>;

struct TDrive {
  std::vector<TStep> Steps;
  std::size_t Next = 0;
  // What each tick found before its step: was the form still there?
  std::vector<bool> OpenAtTick;
};

TDrive* GDrive = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND form = FindWindowW(kPasswordFormClass, nullptr);
  HWND edit = form ? FindWindowExW(form, nullptr, L"Edit", nullptr) : nullptr;
  GDrive->OpenAtTick.push_back(form != nullptr && IsWindowVisible(form));
  if (form && edit && GDrive->Next < GDrive->Steps.size())
    GDrive->Steps[GDrive->Next++](form, edit);
}

// A key as the keyboard gives it: the character, then the release of its key.
TStep Key(wchar_t character, UINT virtualKey) {
  return [=](HWND, HWND edit) {
    PostMessageW(edit, WM_CHAR, character, 1);
    PostMessageW(edit, WM_KEYUP, virtualKey, 0xC0000001);
  };
}

std::vector<TStep> Typed(const std::wstring& text) {
  std::vector<TStep> steps;
  for (const wchar_t c : text) {
    const SHORT scan = VkKeyScanW(c);
    steps.push_back(Key(c, static_cast<UINT>(scan == -1 ? 'A' : (scan & 0xFF))));
  }
  return steps;
}

int Show(const std::string& password, std::vector<TStep> steps, TDrive& drive) {
  drive.Steps = std::move(steps);
  GDrive = &drive;
  TWin32PasswordForm view;
  startup::TRequirePasswordForm form(view);
  form.Password(password);
  const UINT_PTR timer = SetTimer(nullptr, 0, 60, &Tick);
  const int result = form.ShowModal("Locked app \xC3\xA9");
  KillTimer(nullptr, timer);
  GDrive = nullptr;
  return result;
}

bool HasDisplay() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (!probe) return false;
  DestroyWindow(probe);
  return true;
}

TEST(Win32PasswordForm, OpensAsSpecifiedAndClosesWithOkOnTheReleaseThatMakesTheTextRight) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  struct TSeen {
    std::wstring Caption;
    RECT Client{};
    LONG_PTR Style = 0, EditStyle = 0;
    wchar_t PasswordChar = 0;
    bool EditFocused = false;
    std::wstring TextBeforeLast;
  } seen;
  std::vector<TStep> steps{[&seen](HWND form, HWND edit) {
    wchar_t caption[64] = {};
    GetWindowTextW(form, caption, 64);
    seen.Caption = caption;
    GetClientRect(form, &seen.Client);
    seen.Style = GetWindowLongPtrW(form, GWL_STYLE);
    seen.EditStyle = GetWindowLongPtrW(edit, GWL_STYLE);
    seen.PasswordChar = static_cast<wchar_t>(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0));
    seen.EditFocused = GetFocus() == edit;
  }};
  // A wrong character is taken back with Backspace; the form closes on the release of the last
  // key, whichever key it is.
  for (auto& step : Typed(L"Secrex"))
    steps.push_back(step);
  steps.push_back(Key(L'\b', VK_BACK));
  steps.push_back([&seen](HWND, HWND edit) {
    wchar_t text[32] = {};
    GetWindowTextW(edit, text, 32);
    seen.TextBeforeLast = text;
  });
  for (auto& step : Typed(L"t"))
    steps.push_back(step);
  TDrive drive;
  EXPECT_EQ(Show("Secret", std::move(steps), drive), mrOk);
  EXPECT_EQ(seen.Caption, L"Locked app \u00e9");
  const UINT dpi = GetDpiForSystem();
  EXPECT_EQ(seen.Client.right, MulDiv(308, static_cast<int>(dpi), 96));
  EXPECT_EQ(seen.Client.bottom, MulDiv(71, static_cast<int>(dpi), 96));
  EXPECT_TRUE(seen.Style & WS_SYSMENU);
  EXPECT_FALSE(seen.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(seen.EditStyle & ES_PASSWORD);
  EXPECT_EQ(seen.PasswordChar, L'*');
  EXPECT_TRUE(seen.EditFocused);
  EXPECT_EQ(seen.TextBeforeLast, L"Secre");
  // Every tick up to the last key found the form open; none came after it.
  ASSERT_FALSE(drive.OpenAtTick.empty());
  for (const bool open : drive.OpenAtTick)
    EXPECT_TRUE(open);
  EXPECT_EQ(FindWindowW(kPasswordFormClass, nullptr), nullptr);
}

TEST(Win32PasswordForm, WrongCaseEnterAndPastedTextDoNotOpenAndTheCloseBoxCancels) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  bool openAfterWrongCase = false, openAfterPaste = false;
  std::vector<TStep> steps = Typed(L"secret");
  steps.push_back(Key(L'\r', VK_RETURN));
  steps.push_back([&](HWND form, HWND edit) {
    openAfterWrongCase = IsWindowVisible(form) != FALSE;
    // Text put in without a key (a paste with the mouse) is tested at the next release only.
    SetWindowTextW(edit, L"Secret");
  });
  steps.push_back([&](HWND form, HWND) {
    openAfterPaste = IsWindowVisible(form) != FALSE;
    PostMessageW(form, WM_CLOSE, 0, 0);
  });
  TDrive drive;
  EXPECT_EQ(Show("Secret", std::move(steps), drive), mrCancel);
  EXPECT_TRUE(openAfterWrongCase);
  EXPECT_TRUE(openAfterPaste);
}

TEST(Win32PasswordForm, ThePasteCountsAtTheNextKeyRelease) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  std::vector<TStep> steps{
      [](HWND, HWND edit) { SetWindowTextW(edit, L"Secret"); },
      [](HWND, HWND edit) { PostMessageW(edit, WM_KEYUP, VK_RIGHT, 0xC0000001); },
  };
  TDrive drive;
  EXPECT_EQ(Show("Secret", std::move(steps), drive), mrOk);
}

TEST(Win32PasswordForm, AltF4Cancels) {
  if (!HasDisplay()) GTEST_SKIP() << "no display";
  std::vector<TStep> steps{[](HWND form, HWND) { PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0); }};
  TDrive drive;
  EXPECT_EQ(Show("pw", std::move(steps), drive), mrCancel);
}

}  // namespace
}  // namespace velloc::platform::win32
