// The file system on Linux (any POSIX system): stat, readdir, mkdir, unlink and an atomic
// rename-over for replacements.
#pragma once

#include "platform/FileSystem.h"

namespace velloc::platform {

class TPosixFileSystem final : public IFileSystem {
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

}  // namespace velloc::platform
