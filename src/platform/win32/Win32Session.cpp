#include "platform/win32/Win32Session.h"

#include <climits>
#include <string>
#include <windows.h>

#include "platform/win32/Win32Shell.h"

namespace velloc::platform {
namespace {

// Enables the shutdown privilege in the process's own token; nothing else changes, and a
// failure here is left for ExitWindowsEx to report.
void EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return;
  TOKEN_PRIVILEGES privileges{};
  if (::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  ::CloseHandle(token);
}

}  // namespace

unsigned TWin32Session::ExitFlags(TSessionEnd how) {
  switch (how) {
    case TSessionEnd::LogOff:
      return EWX_LOGOFF | EWX_FORCE;
    case TSessionEnd::Reboot:
      return EWX_REBOOT | EWX_FORCE;
    case TSessionEnd::PowerOff:
      break;
  }
  return EWX_SHUTDOWN | EWX_FORCE;
}

void TWin32Session::EndSession(TSessionEnd how, TOutcomeCallback done) {
  EnableShutdownPrivilege();
  if (::ExitWindowsEx(ExitFlags(how), 0)) {
    done({true, ""});
    return;
  }
  const DWORD error = ::GetLastError();
  done({false, TWin32Shell::ErrorMessage(error)});
}

}  // namespace velloc::platform
