#include "runtime/win32/InterimServices.h"

#include <algorithm>
#include <shellapi.h>
#include <shlobj.h>

#include "startup/LocalizedMessages.h"

namespace velloc::runtime::win32 {
namespace {

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  }
  return wide;
}

std::string ToUtf8(const wchar_t* wide, int length = -1) {
  if (!wide || length == 0) return {};
  if (length < 0) length = static_cast<int>(wcslen(wide));
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
  return text;
}

std::string ShellFolder(int folder) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(
          SHGetFolderPathW(nullptr, folder | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)))
    return {};
  std::string text = ToUtf8(path);
  if (!text.empty() && text.back() != '\\') text += '\\';
  return text;
}

// One argument as CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

std::string TInterimSystem::ExecutablePath() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return ToUtf8(path.c_str(), static_cast<int>(length));
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::vector<std::string> TInterimSystem::Arguments() const {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; words && i < count; ++i)
    arguments.push_back(ToUtf8(words[i]));
  LocalFree(words);
  return arguments;
}

std::string TInterimSystem::LocalAppDataDirPath() const {
  return ShellFolder(CSIDL_LOCAL_APPDATA);
}

bool TInterimSystem::FileExists(const std::string& path) const {
  const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool TInterimSystem::ForceDirectories(const std::string& path) {
  std::wstring wide = ToWide(path);
  while (!wide.empty() && (wide.back() == L'\\' || wide.back() == L'/'))
    wide.pop_back();
  const int result = SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
  return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS;
}

bool TInterimSystem::CreateNewFile(const std::string& path,
                                   const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() > MAXDWORD) return false;
  HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  if (!ok) ::DeleteFileW(ToWide(path).c_str());
  return ok;
}

void TInterimSystem::SetEnvironmentVariable(const std::string& name, const std::string& value) {
  ::SetEnvironmentVariableW(ToWide(name).c_str(), ToWide(value).c_str());
}

void TInterimSystem::RemoveEnvironmentVariable(const std::string& name) {
  ::SetEnvironmentVariableW(ToWide(name).c_str(), nullptr);
}

platform::TInstanceLockResult TInterimSystem::CreateInstanceLock(const std::string& name) {
  // Held by the process until it ends: the handle is never closed.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, ToWide(name).c_str());
  if (!mutex) return platform::TInstanceLockResult::Failed;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return platform::TInstanceLockResult::AlreadyExists;
  return platform::TInstanceLockResult::Created;
}

bool TInterimSystem::StartProcess(const std::string& executable,
                                  const std::vector<std::string>& arguments) {
  std::wstring commandLine = QuoteArgument(ToWide(executable));
  for (const std::string& argument : arguments)
    commandLine += L" " + QuoteArgument(ToWide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(ToWide(executable).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string TInterimSystem::TempDir() const {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return length ? ToUtf8(path, static_cast<int>(length)) : std::string();
}

std::string TInterimSystem::UserDocumentsDir() const {
  return ShellFolder(CSIDL_PERSONAL);
}

std::string TInterimSystem::UserDesktopDir() const {
  return ShellFolder(CSIDL_DESKTOPDIRECTORY);
}

std::string TInterimSystem::RoamingAppDataDir() const {
  return ShellFolder(CSIDL_APPDATA);
}

char TInterimSystem::DecimalSeparator() const {
  wchar_t separator[4] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4) > 0 &&
      separator[0] > 0 && separator[0] < 0x80)
    return static_cast<char>(separator[0]);
  return '.';
}

int TInterimDialogs::MessageDlg(const std::string& message, platform::TMsgDlgType kind,
                                const std::vector<platform::TMsgDlgBtn>& buttons,
                                const std::vector<std::string>&, const std::string& title) {
  using platform::TMsgDlgBtn;
  // The message box's own buttons stand in for the dialog's, position by position.
  const auto result = [](TMsgDlgBtn button) {
    switch (button) {
      case TMsgDlgBtn::Yes:
        return platform::mrYes;
      case TMsgDlgBtn::No:
        return platform::mrNo;
      case TMsgDlgBtn::Cancel:
        return platform::mrCancel;
      case TMsgDlgBtn::Abort:
        return platform::mrAbort;
      case TMsgDlgBtn::Retry:
        return platform::mrRetry;
      case TMsgDlgBtn::Ignore:
        return platform::mrIgnore;
      case TMsgDlgBtn::Close:
        return platform::mrClose;
      default:
        return platform::mrOk;
    }
  };
  UINT type = MB_OK;
  if (buttons.size() == 2) {
    type = buttons[1] == TMsgDlgBtn::Cancel ? MB_OKCANCEL : MB_YESNO;
  } else if (buttons.size() >= 3) {
    type = MB_YESNOCANCEL;
  }
  switch (kind) {
    case platform::TMsgDlgType::Warning:
      type |= MB_ICONWARNING;
      break;
    case platform::TMsgDlgType::Error:
      type |= MB_ICONERROR;
      break;
    case platform::TMsgDlgType::Information:
      type |= MB_ICONINFORMATION;
      break;
    case platform::TMsgDlgType::Confirmation:
      type |= MB_ICONQUESTION;
      break;
    case platform::TMsgDlgType::Custom:
      break;
  }
  const int answer = MessageBoxW(nullptr, ToWide(message).c_str(), ToWide(title).c_str(), type);
  std::size_t position = 0;
  if (answer == IDNO) {
    position = 1;
  } else if (answer == IDCANCEL) {
    if (buttons.size() < 2) return platform::mrCancel;
    position = buttons.size() - 1;
  }
  return position < buttons.size() ? result(buttons[position]) : platform::mrNone;
}

void TInterimDialogs::ShowMessage(const std::string& title, const std::string& message,
                                  bool error) {
  MessageBoxW(nullptr, ToWide(message).c_str(), ToWide(title).c_str(),
              MB_OK | (error ? MB_ICONERROR : 0u));
}

std::optional<std::vector<std::uint8_t>> TInterimModuleFile::Read(const std::string& path,
                                                                  std::size_t maxSize) const {
  HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> bytes;
  LARGE_INTEGER size{};
  // Checked before allocating: the file may be anything a user put there.
  if (GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
      static_cast<std::uint64_t>(size.QuadPart) <= maxSize && size.QuadPart <= MAXDWORD) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr) &&
        read == data.size())
      bytes = std::move(data);
  }
  CloseHandle(file);
  return bytes;
}

bool TInterimModuleFile::Replace(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > MAXDWORD) return false;
  const std::wstring target = ToWide(path);
  const std::wstring temporary = target + L".part";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
  CloseHandle(file);
  ok = ok && MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) ::DeleteFileW(temporary.c_str());
  return ok;
}

int TInterimPasswordForm::ShowModal(const std::string&, platform::IPasswordFormEvents&) {
  return platform::mrCancel;
}

int TInterimInstaller::RunElevatedAndWait(const std::string& path, const std::string& params) {
  const std::wstring file = ToWide(path), parameters = ToWide(params);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info) || !info.hProcess) return 0;
  // The user interface keeps running while the installer works.
  while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  return static_cast<int>(code);
}

bool TInterimInstaller::DeleteDirectory(const std::string& path) {
  // The shell's delete wants a list ending in two zeros.
  std::wstring from = ToWide(path);
  while (!from.empty() && from.back() == L'\\')
    from.pop_back();
  from.append(2, L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

bool TInterimInstaller::DeleteFile(const std::string& path) {
  return ::DeleteFileW(ToWide(path).c_str()) != FALSE;
}

void ShowApplicationError(const std::string& message) {
  MessageBoxW(nullptr, ToWide(message).c_str(), L"Application Error", MB_OK | MB_ICONERROR);
}

}  // namespace velloc::runtime::win32

namespace velloc::startup {

// The user's language for the start-up texts, until the platform library has its own.
std::string GetUserLanguageCode() {
  wchar_t name[9] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, 9) <= 0) return {};
  std::string code = runtime::win32::ToUtf8(name);
  for (char& c : code) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return code;
}

}  // namespace velloc::startup
