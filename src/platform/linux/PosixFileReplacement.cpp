#include "platform/linux/PosixFileReplacement.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <system_error>
#include <unistd.h>

#include <sys/file.h>
#include <sys/stat.h>

#include "platform/linux/PosixFileSystem.h"

namespace velloc::platform {
namespace {

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

// Where a link points, so the link itself survives; the path as it is for anything else.
std::string WriteTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;  // dangling: replace the link
  return resolved;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr std::size_t kSuffixLength = 8;

std::string RandomSuffix() {
  static constexpr std::string_view kChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, kChars.size() - 1);
  std::string suffix(kSuffixLength, ' ');
  for (char& c : suffix)
    c = kChars[pick(random)];
  return suffix;
}

// Removes the temporary files that writers of the same target left behind when they were killed.
// A live writer holds a lock on its temporary file, so only the files of dead ones can be locked
// here; the lock dies with the process that held it.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefixName) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() != prefixName.size() + kSuffixLength || !name.starts_with(prefixName)) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

TPosixFileReplacement::TPosixFileReplacement(std::string path)
    : FPath(std::move(path)), FTarget(WriteTarget(FPath)) {
  const std::string folder = FolderOf(FTarget);
  const std::size_t slash = FTarget.rfind('/');
  const std::string name = slash == std::string::npos ? FTarget : FTarget.substr(slash + 1);
  if (name.empty()) Fail("Cannot create file", EISDIR);

  struct stat existing {};
  const bool exists = ::stat(FTarget.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) Fail("Cannot create file", EISDIR);
  if (exists && S_ISREG(existing.st_mode) && TPosixFileSystem().IsReadOnlyFile(FTarget))
    Fail("Cannot create file", EACCES);
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device, pipe or socket is written into, never replaced: renaming a file over
    // /dev/null would destroy the device node. Not blocking: a pipe without a reader fails
    // at once instead of hanging the caller.
    FFd = ::open(FTarget.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (FFd < 0) Fail("Cannot create file", errno);
    const int flags = ::fcntl(FFd, F_GETFL);
    if (flags >= 0) ::fcntl(FFd, F_SETFL, flags & ~O_NONBLOCK);
    return;
  }

  // Hidden, beside the target (a rename cannot cross file systems), and short enough for any
  // file-name limit whatever the target's name.
  const std::string prefixName = '.' + name.substr(0, 64) + ".vlx-";
  const std::string prefix = (folder == "/" ? folder : folder + '/') + prefixName;
  RemoveStaleTemporaries(folder, prefixName);
  const mode_t mode = exists ? (existing.st_mode & 0777) : 0666;
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    FTempPath = prefix + RandomSuffix();
    FFd = ::open(FTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    error = FFd < 0 ? errno : 0;
    if (FFd < 0) continue;
    // Locked as ours at once. Another writer's clean-up may have taken the file between the
    // open and the lock; then it is gone and a new name is tried.
    struct stat info {};
    if (::flock(FFd, LOCK_EX) != 0 || ::fstat(FFd, &info) != 0 || info.st_nlink == 0) {
      ::close(FFd);
      FFd = -1;
      error = EEXIST;
    }
  }
  if (FFd < 0) {
    FTempPath.clear();
    Fail("Cannot create file", error);
  }
  if (exists) {
    // Best effort: the new file looks like the old one. The umask applied at open is undone.
    if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
        ::fchown(FFd, existing.st_uid, existing.st_gid) != 0) {
      // Not allowed to give the file away: it stays ours.
    }
    if (::fchmod(FFd, existing.st_mode & 07777) != 0) {
      // Keeps the mode it was created with.
    }
  }
}

TPosixFileReplacement::~TPosixFileReplacement() {
  if (FFd >= 0) ::close(FFd);
  if (!FCommitted && !FTempPath.empty()) ::unlink(FTempPath.c_str());
}

void TPosixFileReplacement::Fail(std::string_view what, int error) const {
  throw EFileError(std::string(what) + " \"" + FPath + "\". " + ErrorText(error));
}

void TPosixFileReplacement::Write(std::span<const std::uint8_t> bytes) {
  if (FFd < 0) Fail("Cannot write file", EBADF);
  while (!bytes.empty()) {
    const ssize_t written = ::write(FFd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", errno);
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
}

void TPosixFileReplacement::Commit() {
  if (FFd < 0) Fail("Cannot write file", EBADF);
  const bool direct = FTempPath.empty();
  if (!direct && ::fsync(FFd) != 0) Fail("Cannot write file", errno);
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0) Fail("Cannot write file", errno);
  if (direct) {
    FCommitted = true;
    return;
  }
  if (::rename(FTempPath.c_str(), FTarget.c_str()) != 0) Fail("Cannot replace file", errno);
  FCommitted = true;
  // Make the rename itself durable; the replacement has happened either way.
  const int dirFd = ::open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    if (::fsync(dirFd) != 0) {
      // Nothing to undo: the new contents are in place.
    }
    ::close(dirFd);
  }
}

}  // namespace velloc::platform
