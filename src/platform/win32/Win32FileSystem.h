// The file system on Windows: wide-path Win32 calls (GetFileAttributesW, FindFirstFileExW,
// CreateDirectoryW, DeleteFileW) and ReplaceFileW / MoveFileExW for replacements. Paths arrive
// as UTF-8 and are converted at this boundary; "/" and "\" both separate folders.
#pragma once

#include "platform/FileSystem.h"

namespace velloc::platform::win32 {

class TWin32FileSystem final : public IFileSystem {
 public:
  TFileKind Kind(const std::string& path) const override;
  bool IsReadOnlyFile(const std::string& path) const override;
  bool RemoveFile(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  void CreateFolders(const std::string& path) override;
  bool RemoveTree(const std::string& path) override;
  std::vector<TFolderEntry> ListFolder(const std::string& folder) const override;
  std::unique_ptr<IFileReplacement> Replace(const std::string& path) override;
};

}  // namespace velloc::platform::win32
