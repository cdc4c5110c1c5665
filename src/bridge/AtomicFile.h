// Replacing a file whole through the platform's file system: the target is at every moment
// either the old file or the complete new one, so a failed write never leaves half a file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace velloc::bridge {

using EFileError = platform::EFileError;

class TAtomicFile {
 public:
  // Prepares the replacement. Throws EFileError when the file cannot be created: its folder
  // does not exist or refuses new files, `path` names a folder, or the file is read-only.
  TAtomicFile(platform::IFileSystem& fileSystem, const std::string& path);
  // Without a Commit the target stays as it was.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  // Appends to the new contents. Throws EFileError.
  void Write(std::span<const std::uint8_t> bytes);
  void Write(std::string_view bytes);
  // Flushes the new contents and puts them in the target's place. Throws EFileError; the
  // target is then unchanged.
  void Commit();

  // The temporary file's path while it exists (for tests); empty when writing directly.
  std::string TempPath() const { return FReplacement->TempPath(); }

 private:
  std::unique_ptr<platform::IFileReplacement> FReplacement;
};

// Replaces the file at `path` with `bytes` in one step. Throws EFileError.
void ReplaceFileContents(platform::IFileSystem& fileSystem, const std::string& path,
                         std::span<const std::uint8_t> bytes);
void ReplaceFileContents(platform::IFileSystem& fileSystem, const std::string& path,
                         std::string_view bytes);

}  // namespace velloc::bridge
