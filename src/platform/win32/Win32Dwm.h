// DwmSetWindowAttribute, looked up rather than imported: a system without dwmapi.dll, or without
// the entry, still runs and simply keeps the system's window frames.
#pragma once

#include <windows.h>

namespace velloc::platform::win32 {

using TDwmSetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

// The entry, or null.
TDwmSetWindowAttribute DwmSetWindowAttributeEntry();

}  // namespace velloc::platform::win32
