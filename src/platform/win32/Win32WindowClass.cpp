#include "platform/win32/Win32WindowClass.h"

#include <stdexcept>
#include <string>

namespace velloc::platform::win32 {
namespace {

bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name, &existing)) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = name;
  return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

void RegisterWindowClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                             const char* what) {
  if (!Register(instance, name, procedure))
    throw std::runtime_error(std::string("Cannot register the ") + what);
}

HWND CreateMessageWindow(const wchar_t* name, WNDPROC procedure, void* self) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!Register(instance, name, procedure)) return nullptr;
  HWND window =
      CreateWindowExW(0, name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  return window;
}

}  // namespace velloc::platform::win32
