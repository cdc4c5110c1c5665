#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileReplacement.h"

namespace velloc::platform::win32 {
namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// The path without separators at its end, except where they are the root ("C:\", "\").
std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == L':'))
    path.pop_back();
  return path;
}

// Attributes of what the path names, reparse points (symbolic links, junctions) followed.
// False when nothing is there or a link dangles.
bool FollowedAttributes(const std::wstring& path, DWORD& attributes) {
  attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  // Opening follows the link; backup semantics lets folders open too.
  HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  if (!known) return false;
  attributes = info.dwFileAttributes;
  return true;
}

bool RemoveEntry(const std::wstring& path, DWORD attributes);

// Removes what is inside a folder (not the folder itself). False when something stayed.
bool RemoveContents(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool all = true;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    all = RemoveEntry(folder + L"\\" + found.cFileName, found.dwFileAttributes) && all;
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return all;
}

// Removes one entry; a link (to a file or a folder) goes itself, never what it points to.
// Read-only files inside a tree go too, as they do on Linux, where only the folder's
// permission counts.
bool RemoveEntry(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool emptied = link || RemoveContents(path);
    return ::RemoveDirectoryW(path.c_str()) != 0 && emptied;
  }
  return ::DeleteFileW(path.c_str()) != 0;
}

}  // namespace

TFileKind TWin32FileSystem::Kind(const std::string& path) const {
  DWORD attributes = 0;
  if (path.empty() || !FollowedAttributes(Widen(path), attributes)) return TFileKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TFileKind::Folder : TFileKind::File;
}

bool TWin32FileSystem::IsReadOnlyFile(const std::string& path) const {
  DWORD attributes = 0;
  if (path.empty() || !FollowedAttributes(Widen(path), attributes)) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool TWin32FileSystem::RemoveFile(const std::string& path) {
  return !path.empty() && ::DeleteFileW(Widen(path).c_str()) != 0;
}

bool TWin32FileSystem::CreateFolder(const std::string& path) {
  if (path.empty()) return false;
  return Kind(path) == TFileKind::Folder || ::CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

void TWin32FileSystem::CreateFolders(const std::string& path) {
  const std::wstring wide = WithoutTrailingSeparators(Widen(path));
  if (wide.empty()) return;
  DWORD attributes = 0;
  if (FollowedAttributes(wide, attributes)) return;
  // The parent first; a root ("C:", "\\server\share") simply fails to be created.
  const std::size_t separator = wide.find_last_of(L"\\/");
  if (separator != std::wstring::npos && separator > 0)
    CreateFolders(Narrow(std::wstring_view(wide).substr(0, separator)));
  ::CreateDirectoryW(wide.c_str(), nullptr);
}

bool TWin32FileSystem::RemoveTree(const std::string& path) {
  if (path.empty()) return false;
  // "link\" would name the folder the link points to, and its contents would go.
  const std::wstring wide = WithoutTrailingSeparators(Widen(path));
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return RemoveEntry(wide, attributes);
}

std::vector<TFolderEntry> TWin32FileSystem::ListFolder(const std::string& folder) const {
  std::vector<TFolderEntry> entries;
  if (folder.empty()) return entries;
  std::wstring prefix = Widen(folder);
  if (!IsSeparator(prefix.back())) prefix += L'\\';
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileExW((prefix + L'*').c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link to a folder is never entered, and a dangling one is no file.
      if (!FollowedAttributes(prefix + found.cFileName, attributes) ||
          (attributes & FILE_ATTRIBUTE_DIRECTORY))
        continue;
    }
    entries.push_back({Narrow(name), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return entries;
}

std::unique_ptr<IFileReplacement> TWin32FileSystem::Replace(const std::string& path) {
  return std::make_unique<TWin32FileReplacement>(path);
}

}  // namespace velloc::platform::win32
