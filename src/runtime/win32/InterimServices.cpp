#include "runtime/win32/InterimServices.h"

#include "platform/win32/WideText.h"

namespace velloc::runtime::win32 {

std::optional<std::vector<std::uint8_t>> TInterimModuleFile::Read(const std::string& path,
                                                                  std::size_t maxSize) const {
  HANDLE file = CreateFileW(platform::win32::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  const std::wstring target = platform::win32::Widen(path);
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

}  // namespace velloc::runtime::win32
