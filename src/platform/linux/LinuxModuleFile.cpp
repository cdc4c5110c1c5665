#include "platform/linux/LinuxModuleFile.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/file.h>
#include <sys/stat.h>

namespace velloc::platform {
namespace {

// Temporary files are ".<name>.part-" and six random characters.
constexpr std::string_view kTempMark = ".part-";

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Temporary files of writers that were killed. A live writer holds a lock on its file, and the
// lock dies with its process, so only abandoned files can be locked here.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefixName) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() != prefixName.size() + 6 || !name.starts_with(prefixName)) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(dirFd, entry->d_name, 0);
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> TLinuxModuleFile::Read(const std::string& path,
                                                                std::size_t maxSize) const {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::vector<std::uint8_t>> result;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) <= maxSize) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (done == bytes.size()) result = std::move(bytes);
  }
  ::close(fd);
  return result;
}

bool TLinuxModuleFile::Replace(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string prefixName = '.' + name + std::string(kTempMark);
  RemoveStaleTemporaries(folder, prefixName);

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
    temp = folder + '/' + prefixName + "XXXXXX";
    fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // Locked as ours at once; another start's clean-up may have removed it before the lock.
    struct stat info {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &info) != 0 || info.st_nlink == 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ok = ::fchmod(fd, 0644) == 0 && ok;
  // A module that is loaded keeps its old file: the rename gives the path a new one.
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  ::close(fd);
  return ok;
}

}  // namespace velloc::platform
