// A read-only view of part of a file, mapped instead of read: the package is as large as the
// application's media, and a process touches only the pages it reads. One implementation per
// system (mmap; a file mapping on Windows), linked by the core like the system's text rules.
//
// The view is private and read-only. What a reader must be able to rely on is copied out of it
// (the archive copies its central directory); everything else is checked where it is read.
// The file cannot change under the running runtime: Linux refuses to write or truncate a file
// that a process executes (ETXTBSY), Windows one that is mapped or running, and `velloc run`
// replaces its packages by renaming a new file over the old, which leaves the mapped one intact.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>

namespace velloc::platform {

// The file cannot be opened or mapped; the message names the file and the reason.
class EMappingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TMappedFile {
 public:
  // Maps `length` bytes of `path` from `offset`; on a file system that cannot map files, reads
  // them into memory instead. A length of 0 maps nothing and needs no file access beyond opening
  // it. Throws EMappingError, also when the range lies beyond the file.
  static std::shared_ptr<const TMappedFile> Open(const std::filesystem::path& path,
                                                 std::uint64_t offset, std::uint64_t length);

  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  ~TMappedFile();

  std::span<const std::uint8_t> Bytes() const { return FBytes; }

 private:
  TMappedFile() = default;
  // POSIX: the range read in place of a mapping.
  static void ReadInto(int fd, const std::filesystem::path& path, std::uint64_t offset,
                       std::uint64_t length, TMappedFile& mapped);

  std::span<const std::uint8_t> FBytes;
  std::unique_ptr<std::uint8_t[]> FCopy;  // the bytes, where the file could not be mapped
  // The whole mapping, which starts at a page boundary at or before the range.
  void* FBase = nullptr;
  std::uint64_t FMappedSize = 0;
};

}  // namespace velloc::platform
