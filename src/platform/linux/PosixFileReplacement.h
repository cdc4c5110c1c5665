// Replacing a file whole on POSIX. The new contents go to a temporary file beside the target,
// are flushed to disk and then renamed over the target, so the target is at every moment either
// the old file or the complete new one: a failed write or a crash never leaves half a file.
//
// The replaced file keeps its permission bits (and, where allowed, its owner); a new file gets
// the permissions an ordinary create would give it. A symbolic link to a file is written
// through: the file it points to is replaced and the link stays. Hard links to the old file
// keep the old contents, the price of never writing into it. A device, pipe or socket is
// written into directly, as there is nothing to replace.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace velloc::platform {

class TPosixFileReplacement final : public IFileReplacement {
 public:
  // Creates the temporary file in the target's folder. Throws EFileError.
  explicit TPosixFileReplacement(std::string path);
  // Removes the temporary file unless Commit succeeded; the target stays as it was.
  ~TPosixFileReplacement() override;
  TPosixFileReplacement(const TPosixFileReplacement&) = delete;
  TPosixFileReplacement& operator=(const TPosixFileReplacement&) = delete;

  void Write(std::span<const std::uint8_t> bytes) override;
  void Commit() override;
  std::string TempPath() const override { return FTempPath; }

 private:
  [[noreturn]] void Fail(std::string_view what, int error) const;

  std::string FPath;    // as the caller named it, for messages
  std::string FTarget;  // the file that is replaced (a link's destination)
  std::string FTempPath;
  int FFd = -1;
  bool FCommitted = false;
};

}  // namespace velloc::platform
