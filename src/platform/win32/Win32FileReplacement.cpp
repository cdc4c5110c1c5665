#include "platform/win32/Win32FileReplacement.h"

#include <algorithm>
#include <random>
#include <windows.h>

#include "platform/win32/WideText.h"

namespace velloc::platform::win32 {
namespace {

// Where a link to a file points, so the link itself survives; the path as it is otherwise
// (a dangling link is replaced itself).
std::wstring WriteTarget(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return path;
  HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  std::wstring resolved(MAX_PATH, L'\0');
  DWORD length =
      ::GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
  if (length >= resolved.size()) {
    resolved.resize(length + 1);
    length = ::GetFinalPathNameByHandleW(handle, resolved.data(),
                                         static_cast<DWORD>(resolved.size()), 0);
  }
  ::CloseHandle(handle);
  if (length == 0 || length >= resolved.size()) return path;
  resolved.resize(length);
  return resolved;
}

// Removes the temporary files that writers of the same target left behind when they were
// killed. A live writer holds its file open without sharing, so only the files of dead ones
// can be deleted here.
void RemoveStaleTemporaries(const std::wstring& folderPrefix, const std::wstring& prefixName) {
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileExW((folderPrefix + prefixName + L'*').c_str(), FindExInfoBasic,
                                   &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring_view name = found.cFileName;
    if (name.size() != prefixName.size() + kRandomSuffixLength || !name.starts_with(prefixName) ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      continue;
    ::DeleteFileW((folderPrefix + found.cFileName).c_str());
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

bool IsHighSurrogate(wchar_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

std::wstring RandomFileSuffix() {
  static constexpr std::wstring_view kChars = L"abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, kChars.size() - 1);
  std::wstring suffix(kRandomSuffixLength, L' ');
  for (wchar_t& c : suffix)
    c = kChars[pick(random)];
  return suffix;
}

TWin32FileReplacement::TWin32FileReplacement(std::string path)
    : FPath(std::move(path)), FHandle(INVALID_HANDLE_VALUE) {
  FTarget = WriteTarget(Widen(FPath));
  const std::size_t separator = FTarget.find_last_of(L"\\/");
  const std::wstring folderPrefix =
      separator == std::wstring::npos ? std::wstring() : FTarget.substr(0, separator + 1);
  const std::wstring name =
      separator == std::wstring::npos ? FTarget : FTarget.substr(separator + 1);
  if (name.empty()) Fail("Cannot create file", ERROR_DIRECTORY);

  const DWORD attributes = ::GetFileAttributesW(FTarget.c_str());
  FExists = attributes != INVALID_FILE_ATTRIBUTES;
  if (FExists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    Fail("Cannot create file", ERROR_DIRECTORY);
  if (FExists && (attributes & FILE_ATTRIBUTE_READONLY))
    Fail("Cannot create file", ERROR_ACCESS_DENIED);
  if (!FExists && folderPrefix.size() > 1) {
    // A missing folder is named as such, not as a failed temporary file.
    const DWORD folder =
        ::GetFileAttributesW(folderPrefix.substr(0, folderPrefix.size() - 1).c_str());
    if (folder == INVALID_FILE_ATTRIBUTES) Fail("Cannot create file", ERROR_PATH_NOT_FOUND);
  }

  // Beside the target (a move cannot cross volumes), and short enough for any name limit
  // whatever the target's name; never cut between the halves of a surrogate pair.
  std::size_t keep = std::min<std::size_t>(name.size(), 64);
  if (keep < name.size() && keep > 0 && IsHighSurrogate(name[keep - 1])) --keep;
  const std::wstring prefixName = L'.' + name.substr(0, keep) + L".vlx-";
  RemoveStaleTemporaries(folderPrefix, prefixName);
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
    FTempPath = folderPrefix + prefixName + RandomFileSuffix();
    // No sharing: a writer at work keeps others (and their clean-up) away from its file.
    FHandle = ::CreateFileW(FTempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    error = FHandle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
  }
  if (FHandle == INVALID_HANDLE_VALUE) {
    FTempPath.clear();
    Fail("Cannot create file", error);
  }
}

TWin32FileReplacement::~TWin32FileReplacement() {
  if (FHandle != INVALID_HANDLE_VALUE) ::CloseHandle(FHandle);
  if (!FCommitted && !FTempPath.empty()) ::DeleteFileW(FTempPath.c_str());
}

std::string TWin32FileReplacement::TempPath() const {
  return Narrow(FTempPath);
}

void TWin32FileReplacement::Fail(std::string_view what, unsigned long error) const {
  throw EFileError(std::string(what) + " \"" + FPath + "\". " + SystemErrorText(error));
}

void TWin32FileReplacement::Write(std::span<const std::uint8_t> bytes) {
  if (FHandle == INVALID_HANDLE_VALUE) Fail("Cannot write file", ERROR_INVALID_HANDLE);
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(FHandle, bytes.data(), chunk, &written, nullptr))
      Fail("Cannot write file", ::GetLastError());
    if (written == 0) Fail("Cannot write file", ERROR_WRITE_FAULT);
    bytes = bytes.subspan(written);
  }
}

void TWin32FileReplacement::Commit() {
  if (FHandle == INVALID_HANDLE_VALUE) Fail("Cannot write file", ERROR_INVALID_HANDLE);
  HANDLE handle = FHandle;
  FHandle = INVALID_HANDLE_VALUE;
  const bool flushed = ::FlushFileBuffers(handle) != 0;
  const DWORD flushError = ::GetLastError();
  ::CloseHandle(handle);
  if (!flushed) Fail("Cannot write file", flushError);
  // ReplaceFileW keeps the old file's attributes and security; when it cannot (the target
  // went away meanwhile, or the file system does not support it) a plain move replaces it.
  if (FExists && ::ReplaceFileW(FTarget.c_str(), FTempPath.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    FCommitted = true;
    return;
  }
  if (!::MoveFileExW(FTempPath.c_str(), FTarget.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    Fail("Cannot replace file", ::GetLastError());
  FCommitted = true;
}

}  // namespace velloc::platform::win32
