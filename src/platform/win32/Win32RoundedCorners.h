// The rounded-corner preference of one Win32 top-level window, handed to the desktop window
// manager. The owner reports its window's creation and destruction; a window manager without
// the attribute (Windows 10, Wine) refuses the call and the window keeps square corners.
#pragma once

#include <functional>
#include <windows.h>

#include "core/RoundedCornerForm.h"

namespace velloc::platform::win32 {

class TWin32RoundedCorners final : public forms::TRoundedCornerForm {
 public:
  // DwmSetWindowAttribute's signature; tests pass their own to see the calls.
  using TSetAttribute = std::function<HRESULT(HWND, DWORD, const void*, DWORD)>;

  // Without a setter the calls go to dwmapi.dll, loaded when first needed.
  explicit TWin32RoundedCorners(TSetAttribute setAttribute = nullptr);

  // The window now exists (again): the preference goes out at once.
  void Attach(HWND window);
  // The window is gone: a later preference waits for the next one.
  void Detach();

 protected:
  void SetWindowCornerPreference(forms::TCornerPreference preference) override;

 private:
  TSetAttribute FSetAttribute;
  HWND FWindow = nullptr;
};

}  // namespace velloc::platform::win32
