#include "platform/win32/Win32ModuleFile.h"

#include <algorithm>
#include <string_view>
#include <windows.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileReplacement.h"

namespace velloc::platform::win32 {
namespace {

// Temporary files are ".<name>.part-" and eight random characters; modules moved aside
// ".<name>.old-" and eight.
constexpr std::wstring_view kPartMark = L".part-";
constexpr std::wstring_view kOldMark = L".old-";

// Files left by writers that were killed, and modules moved aside that nothing holds any more:
// a live writer's file and a loaded module refuse to be deleted.
void RemoveLeftovers(const std::wstring& folder, const std::wstring& name) {
  for (const std::wstring_view mark : {kPartMark, kOldMark}) {
    const std::wstring prefix = L"." + name + std::wstring(mark);
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileExW((folder + prefix + L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      const std::wstring_view entry = found.cFileName;
      if (entry.size() == prefix.size() + kRandomSuffixLength && entry.starts_with(prefix) &&
          !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
}

bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes = bytes.subspan(written);
  }
  return FlushFileBuffers(file) != FALSE;
}

// Renames the open file to `target` through its handle, so it is never unlocked on the way.
bool RenameOpenFile(HANDLE file, const std::wstring& target, bool replace) {
  const std::size_t size = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(size, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  target.copy(info->FileName, target.size());
  return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(size)) != FALSE;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> TWin32ModuleFile::Read(const std::string& path,
                                                                std::size_t maxSize) const {
  // Shared with a loader that has the module mapped (it allows reading and deleting).
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> result;
  LARGE_INTEGER size{};
  BY_HANDLE_FILE_INFORMATION info{};
  // Checked before allocating: the file may be anything that was put there.
  if (GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && GetFileSizeEx(file, &size) &&
      size.QuadPart >= 0 && static_cast<std::uint64_t>(size.QuadPart) <= maxSize) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      DWORD read = 0;
      if (!ReadFile(file, bytes.data() + done, chunk, &read, nullptr) || read == 0) break;
      done += read;
    }
    if (done == bytes.size()) result = std::move(bytes);
  }
  CloseHandle(file);
  return result;
}

bool TWin32ModuleFile::Replace(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::wstring target = Widen(path);
  const std::size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder =
      separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
  const std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
  if (name.empty()) return false;
  RemoveLeftovers(folder, name);

  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temporary;
  for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder + L"." + name + std::wstring(kPartMark) + RandomFileSuffix();
    // Shared with nobody: no other start reads, writes or deletes it while it is written.
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes) && RenameOpenFile(file, target, true);
  if (!ok && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    // A module that is loaded cannot be replaced, but it can move aside.
    const std::wstring aside = folder + L"." + name + std::wstring(kOldMark) + RandomFileSuffix();
    if (MoveFileExW(target.c_str(), aside.c_str(), 0)) {
      ok = RenameOpenFile(file, target, false);
      if (ok) {
        DeleteFileW(aside.c_str());  // refused while the other instance runs; cleared later
      } else {
        MoveFileExW(aside.c_str(), target.c_str(), 0);
      }
    }
  }
  if (!ok) {
    // Deleted through its own handle: nothing of it stays behind.
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
  }
  CloseHandle(file);
  return ok;
}

}  // namespace velloc::platform::win32
