#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include <sys/mman.h>
#include <sys/stat.h>

#include "platform/MappedFile.h"

namespace velloc::platform {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const char* what, int error) {
  throw EMappingError("cannot " + std::string(what) + " '" + path.string() +
                      "': " + std::strerror(error));
}

}  // namespace

void TMappedFile::ReadInto(int fd, const std::filesystem::path& path, std::uint64_t offset,
                           std::uint64_t length, TMappedFile& mapped) {
  mapped.FCopy.reset(new std::uint8_t[static_cast<std::size_t>(length)]);
  for (std::uint64_t done = 0; done < length;) {
    const ssize_t n =
        ::pread(fd, mapped.FCopy.get() + done, static_cast<std::size_t>(length - done),
                static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      Fail(path, "read", error);
    }
    done += static_cast<std::uint64_t>(n);
  }
  mapped.FBytes = {mapped.FCopy.get(), static_cast<std::size_t>(length)};
}

std::shared_ptr<const TMappedFile> TMappedFile::Open(const std::filesystem::path& path,
                                                     std::uint64_t offset, std::uint64_t length) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail(path, "open", errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    Fail(path, "read the size of", error);
  }
  const auto fileSize = static_cast<std::uint64_t>(info.st_size);
  if (offset > fileSize || length > fileSize - offset) {
    ::close(fd);
    throw EMappingError("cannot map '" + path.string() + "': the range lies beyond its end");
  }
  std::shared_ptr<TMappedFile> mapped(new TMappedFile());
  if (length > 0) {
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset - offset % page;
    const std::uint64_t size = offset - start + length;
    // Private and read-only: nothing this process does reaches the file.
    void* base = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(start));
    if (base != MAP_FAILED) {
      mapped->FBase = base;
      mapped->FMappedSize = size;
      mapped->FBytes = {static_cast<const std::uint8_t*>(base) + (offset - start),
                        static_cast<std::size_t>(length)};
    } else if (errno == ENODEV) {
      // A file system that cannot map files (FUSE with direct I/O): read the range instead.
      ReadInto(fd, path, offset, length, *mapped);
    } else {
      const int error = errno;
      ::close(fd);
      Fail(path, "map", error);
    }
  }
  ::close(fd);  // the mapping keeps the file
  return mapped;
}

TMappedFile::~TMappedFile() {
  if (FBase) ::munmap(FBase, FMappedSize);
}

}  // namespace velloc::platform
