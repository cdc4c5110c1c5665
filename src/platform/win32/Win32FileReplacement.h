// Replacing a file whole on Windows. The new contents go to a temporary file beside the target,
// are flushed to disk and then put in its place by ReplaceFileW, which keeps the old file's
// attributes, security and identity; a new file is moved in with MoveFileExW. The target is at
// every moment either the old file or the complete new one. A symbolic link to a file is
// written through: the file it points to is replaced and the link stays.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace velloc::platform::win32 {

// Eight random lower-case letters and digits, for temporary names beside a file (one letter
// case, as Windows' names compare without it).
inline constexpr std::size_t kRandomSuffixLength = 8;
std::wstring RandomFileSuffix();

class TWin32FileReplacement final : public IFileReplacement {
 public:
  // Creates the temporary file in the target's folder. Throws EFileError.
  explicit TWin32FileReplacement(std::string path);
  // Removes the temporary file unless Commit succeeded; the target stays as it was.
  ~TWin32FileReplacement() override;
  TWin32FileReplacement(const TWin32FileReplacement&) = delete;
  TWin32FileReplacement& operator=(const TWin32FileReplacement&) = delete;

  void Write(std::span<const std::uint8_t> bytes) override;
  void Commit() override;
  std::string TempPath() const override;

 private:
  [[noreturn]] void Fail(std::string_view what, unsigned long error) const;

  std::string FPath;     // as the caller named it, for messages
  std::wstring FTarget;  // the file that is replaced (a link's destination)
  std::wstring FTempPath;
  void* FHandle;  // HANDLE; INVALID_HANDLE_VALUE when closed
  bool FExists = false;
  bool FCommitted = false;
};

}  // namespace velloc::platform::win32
