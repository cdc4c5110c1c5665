#include "platform/win32/Win32System.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32InstanceChannel.h"

// clang-format off
// windows.h first: the other system headers build on it.
#include <windows.h>
#include <shellapi.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <stdlib.h>
// clang-format on

// windows.h maps the name to its W function, which would rename the member defined here.
#undef SetEnvironmentVariable

namespace velloc::platform {
namespace {

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path;
}

// A known folder of the current user, with a trailing backslash; empty when the shell names none.
// `flags` KF_FLAG_DONT_VERIFY: the folder's configured path even while it does not exist (the
// user deleted it), which a page's write makes again, rather than none, which reaches the page as
// the root of the drive.
std::string KnownFolder(REFKNOWNFOLDERID id, DWORD flags = KF_FLAG_DEFAULT) {
  PWSTR folder = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(id, flags, nullptr, &folder);
  std::string path = SUCCEEDED(result) && folder ? win32::Narrow(folder) : std::string();
  ::CoTaskMemFree(folder);
  return WithBackslash(std::move(path));
}

struct THandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace

TWin32System::TWin32System() = default;
TWin32System::~TWin32System() = default;

std::string TWin32System::ExecutablePath() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return win32::Narrow(path);
    }
    if (path.size() >= 32768) return {};  // longer than any path the system allows
    path.resize(path.size() * 2);
  }
}

std::vector<std::string> TWin32System::Arguments() const {
  return SplitCommandLine(win32::Narrow(::GetCommandLineW()));
}

std::vector<std::string> TWin32System::SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments;
  // An empty line would give the executable's path as the program name, which is dropped anyway.
  const std::wstring line = win32::Widen(commandLine);
  if (line.empty()) return arguments;
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(line.c_str(), &count);
  if (!words) return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(win32::Narrow(words[i]));
  ::LocalFree(words);
  return arguments;
}

std::string TWin32System::QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos)
    return std::string(argument);
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote: there they are doubled, and the quote
    // gets one of its own.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  // The closing quote follows: trailing backslashes are doubled so that it stays a quote.
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string TWin32System::CommandLine(const std::string& executable,
                                      const std::vector<std::string>& arguments) {
  // The program name is split by quotes alone, without backslash escapes; a path holds no quote.
  std::string line = "\"" + executable + "\"";
  for (const std::string& argument : arguments)
    line += " " + QuoteArgument(argument);
  return line;
}

std::string TWin32System::LocalAppDataDirPath() const {
  const std::string folder = KnownFolder(FOLDERID_LocalAppData);
  return folder.empty() ? "\\" : folder;
}

bool TWin32System::FileExists(const std::string& path) const {
  const DWORD attributes = ::GetFileAttributesW(win32::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TWin32System::ForceDirectories(const std::string& path) {
  const std::filesystem::path folder(win32::Widen(path));
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

bool TWin32System::CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  // Whole or not at all: the bytes go to a new file beside the target, which is then renamed
  // to the target's name; the rename refuses a target that exists meanwhile.
  const std::wstring target = win32::Widen(path);
  if (target.empty()) return false;
  const auto slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash + 1);
  wchar_t temp[MAX_PATH + 1] = {};
  if (folder.size() > MAX_PATH - 14 || ::GetTempFileNameW(folder.c_str(), L"vlx", 0, temp) == 0) {
    // A folder too long for a temporary name: a new file in place, removed when it fails.
    THandle file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
      file.release();
      return false;
    }
    const bool ok = WriteAll(file.get(), bytes.data(), bytes.size());
    file.reset();
    if (!ok) ::DeleteFileW(target.c_str());
    return ok;
  }
  bool ok = false;
  {
    THandle file(::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
      file.release();
    } else {
      ok = WriteAll(file.get(), bytes.data(), bytes.size()) && ::FlushFileBuffers(file.get());
    }
  }
  ok = ok && ::MoveFileExW(temp, target.c_str(), MOVEFILE_WRITE_THROUGH);
  if (!ok) ::DeleteFileW(temp);
  return ok;
}

std::string TWin32System::EnvironmentVariable(const std::string& name) const {
  const std::wstring wideName = win32::Widen(name);
  std::wstring value(64, L'\0');
  for (;;) {
    const DWORD length =
        ::GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) return win32::Narrow(std::wstring_view(value.data(), length));
    value.resize(length);
  }
}

void TWin32System::SetEnvironmentVariable(const std::string& name, const std::string& value) {
  const std::wstring wideName = win32::Widen(name), wideValue = win32::Widen(value);
  // The C runtime keeps a copy of its own for getenv (where an empty value means removed); the
  // process's block, set last, is what child processes and the web view see.
  ::_wputenv((wideName + L"=" + wideValue).c_str());
  ::SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str());
}

void TWin32System::RemoveEnvironmentVariable(const std::string& name) {
  const std::wstring wideName = win32::Widen(name);
  ::_wputenv((wideName + L"=").c_str());
  ::SetEnvironmentVariableW(wideName.c_str(), nullptr);
}

TInstanceLockResult TWin32System::CreateInstanceLock(const std::string& name) {
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, win32::Widen(name).c_str());
  if (!mutex) return TInstanceLockResult::Failed;
  // The handle stays open until the process ends, also when the name was taken: the answer is
  // all that is needed of it.
  const bool taken = ::GetLastError() == ERROR_ALREADY_EXISTS;
  ReleaseInstanceLock();
  FInstanceMutex = mutex;
  return taken ? TInstanceLockResult::AlreadyExists : TInstanceLockResult::Created;
}

void TWin32System::ReleaseInstanceLock() {
  if (FInstanceMutex) ::CloseHandle(static_cast<HANDLE>(FInstanceMutex));
  FInstanceMutex = nullptr;
}

bool TWin32System::StartProcess(const std::string& executable,
                                const std::vector<std::string>& arguments) {
  const std::wstring program = win32::Widen(executable);
  std::wstring line = win32::Widen(CommandLine(executable, arguments));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    return false;
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

std::string TWin32System::TempDir() const {
  wchar_t temp[MAX_PATH + 2] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH + 1) return {};
  // The long form: the temporary folder is often reported in its short 8.3 form.
  std::wstring path(temp, length);
  const DWORD longLength = ::GetLongPathNameW(temp, nullptr, 0);
  if (longLength > 0) {
    std::wstring longPath(longLength, L'\0');
    const DWORD written = ::GetLongPathNameW(temp, longPath.data(), longLength);
    if (written > 0 && written < longLength) path.assign(longPath.c_str(), written);
  }
  return WithBackslash(win32::Narrow(path));
}

std::string TWin32System::UserDocumentsDir() const {
  return KnownFolder(FOLDERID_Documents, KF_FLAG_DONT_VERIFY);
}

std::string TWin32System::UserDesktopDir() const {
  return KnownFolder(FOLDERID_Desktop, KF_FLAG_DONT_VERIFY);
}

std::string TWin32System::RoamingAppDataDir() const {
  return KnownFolder(FOLDERID_RoamingAppData, KF_FLAG_DONT_VERIFY);
}

char TWin32System::DecimalSeparator() const {
  wchar_t separator[8] = {};
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 0 &&
      separator[0] > 0 && separator[0] < 0x80)
    return static_cast<char>(separator[0]);
  return '.';  // a separator outside ASCII cannot be told in one character
}

bool TWin32System::SendToRunningInstance(const std::string& name,
                                         const std::vector<std::string>& arguments) {
  // A running instance that is still starting gets two seconds to begin listening.
  return win32::SendInstanceArguments(win32::InstancePipeName(name), arguments, 2000);
}

void TWin32System::ListenForLaterStarts(const std::string& name,
                                        std::function<void(std::vector<std::string>)> received) {
  FListener = std::make_unique<win32::TInstanceListener>(win32::InstancePipeName(name),
                                                         std::move(received));
  if (!FListener->Listening()) FListener.reset();
}

void TWin32System::StopListeningForLaterStarts() {
  FListener.reset();
}

}  // namespace velloc::platform
