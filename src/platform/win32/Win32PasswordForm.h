// The password form on Win32: a dialog-frame window of 308 x 71 client pixels (at 96 dpi, scaled
// to the primary screen's dpi and again when it moves to a screen of another) centred on the
// screen, in the button-face colour and Tahoma 8 pt, whose one child is an edit box showing "*"
// for every character with a key drawn at its left end. It asks for rounded corners and takes the
// active style's colours. There is no button: the core closes the form with OK when the text is
// right; the close box and Alt+F4 give Cancel.
#pragma once

#include <optional>
#include <string>
#include <windows.h>

#include "platform/PasswordForm.h"
#include "platform/win32/Win32RoundedCorners.h"

namespace velloc::platform::win32 {

// The window class of the form and the edit box's class, for whoever looks for them (a person's
// tools, the tests that type into it).
inline constexpr wchar_t kPasswordFormClass[] = L"VellocPasswordForm";

class TWin32PasswordForm final : public IPasswordFormView {
 public:
  TWin32PasswordForm() = default;
  TWin32PasswordForm(const TWin32PasswordForm&) = delete;
  TWin32PasswordForm& operator=(const TWin32PasswordForm&) = delete;
  ~TWin32PasswordForm() override;

  // Runs its own message loop until a result is set. Without a display (no window can be made)
  // it says so on standard error and answers Cancel.
  int ShowModal(const std::string& caption, IPasswordFormEvents& events) override;
  void SetModalResult(int result) override;

  // While the form shows: the form and its edit box.
  HWND Handle() const { return FForm; }
  HWND Edit() const { return FEdit; }

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data);
  LRESULT HandleEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Create(const std::string& caption);
  // Places the edit box and the key and sets the font for FDpi.
  void Layout();
  void Destroy();
  int Scale(int pixels) const;

  IPasswordFormEvents* FEvents = nullptr;
  HWND FForm = nullptr;
  HWND FEdit = nullptr;
  HWND FKey = nullptr;
  HFONT FFont = nullptr;
  UINT FDpi = 96;
  TWin32RoundedCorners FCorners;
  std::optional<int> FResult;
};

// Draws a key symbol filling `area`: the decoration of the edit box's left end.
void DrawPasswordKey(HDC dc, const RECT& area);

}  // namespace velloc::platform::win32
