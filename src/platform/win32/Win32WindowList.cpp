#include "platform/win32/Win32WindowList.h"

#include <new>
#include <windows.h>

#include "platform/win32/WideText.h"

namespace velloc::platform {
namespace {

// The window's whole title: the length asked first, then read, again when it grew meanwhile.
std::wstring WindowTitle(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  for (int attempt = 0; attempt < 4 && length > 0; ++attempt) {
    std::wstring title(static_cast<std::size_t>(length) + 2, L'\0');
    const int read = ::GetWindowTextW(window, title.data(), length + 2);
    if (read <= length) {
      title.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
      return title;
    }
    length = read;
  }
  return {};
}

BOOL CALLBACK AddWindowTitle(HWND window, LPARAM list) {
  // A system callback: nothing may be thrown through it.
  try {
    reinterpret_cast<std::vector<std::string>*>(list)->push_back(
        win32::Narrow(WindowTitle(window)));
    return TRUE;
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
}

}  // namespace

std::vector<std::string> TWin32WindowList::TopLevelWindowTitles() {
  std::vector<std::string> titles;
  ::EnumWindows(AddWindowTitle, reinterpret_cast<LPARAM>(&titles));
  return titles;
}

}  // namespace velloc::platform
