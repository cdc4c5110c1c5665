#include "platform/win32/Win32RoundedCorners.h"

#include <cstdint>

namespace velloc::platform::win32 {
namespace {

// DWMWA_WINDOW_CORNER_PREFERENCE; older SDK headers do not name it.
constexpr DWORD kWindowCornerPreference = 33;

using TDwmSetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

// dwmapi.dll is looked up rather than imported, so a system without it (or without the entry)
// still starts; the preference is then simply not passed on.
TDwmSetWindowAttribute SystemSetAttribute() {
  static const TDwmSetWindowAttribute entry = [] {
    HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dwm) return TDwmSetWindowAttribute{};
    return reinterpret_cast<TDwmSetWindowAttribute>(
        reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
  }();
  return entry;
}

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
  } else if (const TDwmSetWindowAttribute set = SystemSetAttribute()) {
    set(FWindow, kWindowCornerPreference, &value, sizeof value);
  }
}

}  // namespace velloc::platform::win32
