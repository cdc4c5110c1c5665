#include "platform/win32/Win32Dwm.h"

namespace velloc::platform::win32 {

TDwmSetWindowAttribute DwmSetWindowAttributeEntry() {
  static const TDwmSetWindowAttribute entry = [] {
    HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dwm) return TDwmSetWindowAttribute{};
    return reinterpret_cast<TDwmSetWindowAttribute>(
        reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
  }();
  return entry;
}

}  // namespace velloc::platform::win32
