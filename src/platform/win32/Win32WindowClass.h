// The plain windows the runtime keeps for itself: hidden ones that hear the shell, and
// message-only ones that carry work from other threads to the user-interface thread.
#pragma once

#include <windows.h>

namespace velloc::platform::win32 {

// Registers a class of `procedure` named `name` unless it is registered already. Throws
// std::runtime_error naming `what` when it cannot.
void RegisterWindowClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                             const char* what);

// A message-only window of the class `name` (registered here when needed) whose user data is
// `self`; null when it cannot be made.
HWND CreateMessageWindow(const wchar_t* name, WNDPROC procedure, void* self);

}  // namespace velloc::platform::win32
