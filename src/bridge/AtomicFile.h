// Replacing a file whole. The new contents go to a temporary file beside the target, are flushed
// to disk and then renamed over the target, so the target is at every moment either the old
// file or the complete new one: a failed write or a crash never leaves half a file behind.
//
// The replaced file keeps its permission bits (and, where allowed, its owner); a new file gets
// the permissions an ordinary create would give it. A symbolic link to a file is written
// through: the file it points to is replaced and the link stays. Hard links to the old file
// keep the old contents, the price of never writing into it. A device, pipe or socket is
// written into directly, as there is nothing to replace.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velloc::bridge {

// A file that could not be created or written; the message names the file and the reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that the functions neither replace nor delete, as a read-only file is on Windows: one
// without its owner's write permission, or one this process may not write. Deleting needs only
// the folder's permission on Linux, so the file's own is checked first.
bool IsReadOnlyFile(const std::string& path);

class TAtomicFile {
 public:
  // Creates the temporary file in the target's folder. Throws EFileError when that is not
  // possible: the folder does not exist or refuses new files, or `path` names a folder.
  explicit TAtomicFile(std::string path);
  // Removes the temporary file unless Commit succeeded; the target stays as it was.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  // Appends to the new contents. Throws EFileError.
  void Write(std::span<const std::uint8_t> bytes);
  void Write(std::string_view bytes);
  // Flushes the new contents to disk and puts them in the target's place. Throws EFileError;
  // the target is then unchanged.
  void Commit();

  // The temporary file's path while it exists (for tests); empty when writing directly.
  const std::string& TempPath() const { return FTempPath; }

 private:
  [[noreturn]] void Fail(std::string_view what, int error) const;

  std::string FPath;    // as the caller named it, for messages
  std::string FTarget;  // the file that is replaced (a link's destination)
  std::string FTempPath;
  int FFd = -1;
  bool FCommitted = false;
};

// Replaces the file at `path` with `bytes` in one step. Throws EFileError.
void ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes);
void ReplaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace velloc::bridge
