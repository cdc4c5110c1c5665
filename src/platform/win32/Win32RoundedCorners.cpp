#include "platform/win32/Win32RoundedCorners.h"

#include <cstdint>

#include "platform/win32/Win32Dwm.h"

namespace velloc::platform::win32 {
namespace {

// DWMWA_WINDOW_CORNER_PREFERENCE; older SDK headers do not name it.
constexpr DWORD kWindowCornerPreference = 33;

}  // namespace

TWin32RoundedCorners::TWin32RoundedCorners(TSetAttribute setAttribute)
    : FSetAttribute(std::move(setAttribute)) {}

void TWin32RoundedCorners::Attach(HWND window) {
  FWindow = window;
  WindowCreated();
}

void TWin32RoundedCorners::Detach() {
  FWindow = nullptr;
  WindowDestroyed();
}

void TWin32RoundedCorners::SetWindowCornerPreference(forms::TCornerPreference preference) {
  if (!FWindow) return;
  const auto value = static_cast<std::int32_t>(preference);
  // The result is ignored: a refusal leaves square corners, which is all a refusal can mean.
  if (FSetAttribute) {
    FSetAttribute(FWindow, kWindowCornerPreference, &value, sizeof value);
  } else if (const TDwmSetWindowAttribute set = DwmSetWindowAttributeEntry()) {
    set(FWindow, kWindowCornerPreference, &value, sizeof value);
  }
}

}  // namespace velloc::platform::win32
