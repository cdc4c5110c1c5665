// The file system as the file and folder functions of the bridge need it: queries, folder
// listing, creating and removing, and replacing a file's contents in one step. One
// implementation per system (POSIX, Win32); paths are UTF-8 in the system's own syntax.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velloc::platform {

// A file that could not be created or written; the message names the file and the reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a path names once links are followed. Anything that is not a folder (a device or pipe
// included) is a file; a dangling link is missing.
enum class TFileKind : std::uint8_t { Missing, File, Folder };

// One entry of a folder listing. A link to a folder and a dangling link are left out of
// listings: the listing stays inside the tree it was given and cannot run in circles.
struct TFolderEntry {
  std::string Name;
  bool IsFolder = false;
};

// New contents of one file, put in the file's place whole by Commit. Until then the file keeps
// its old contents; dropping the object without Commit leaves it as it was.
class IFileReplacement {
 public:
  virtual ~IFileReplacement() = default;
  // Appends to the new contents. Throws EFileError.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Flushes the new contents to disk and puts them in place. Throws EFileError; the target is
  // then unchanged.
  virtual void Commit() = 0;
  // The temporary file's path while it exists (for tests); empty when writing directly.
  virtual std::string TempPath() const = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  virtual TFileKind Kind(const std::string& path) const = 0;
  // A file that the functions neither replace nor delete: a read-only file on Windows; one
  // without its owner's write permission, or that this process may not write, on Linux.
  virtual bool IsReadOnlyFile(const std::string& path) const = 0;
  // Deletes one file (never a folder). False when it is missing or cannot go.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Creates one folder whose parent exists. True when the folder exists afterwards.
  virtual bool CreateFolder(const std::string& path) = 0;
  // Creates a folder and its missing parents, as far as it can; callers find out by using it.
  virtual void CreateFolders(const std::string& path) = 0;
  // Removes a folder with everything in it, or a file. Links inside are removed, never
  // followed; a link given as the path is removed itself. False when nothing was there or
  // something stayed.
  virtual bool RemoveTree(const std::string& path) = 0;
  // The entries of a folder (not "." and ".."), in the system's order; empty when the folder
  // cannot be read.
  virtual std::vector<TFolderEntry> ListFolder(const std::string& folder) const = 0;
  // Starts replacing the file at `path`; a link to a file is written through, so the link
  // stays. Throws EFileError when the file cannot be created: its folder is missing or refuses
  // new files, `path` names a folder, or the file is read-only.
  virtual std::unique_ptr<IFileReplacement> Replace(const std::string& path) = 0;
};

}  // namespace velloc::platform
