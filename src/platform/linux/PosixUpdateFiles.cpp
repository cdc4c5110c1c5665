#include "platform/linux/PosixUpdateFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <sys/file.h>
#include <sys/stat.h>

#include "platform/linux/PosixFileReplacement.h"

namespace velloc::platform {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw EFileError("cannot " + what + " " + path + ": " + std::strerror(error));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A renamed entry survives a crash once its folder is on disk too.
void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() { Close(); }
  int Get() const { return FFd; }
  bool Close() {
    const bool closed = FFd < 0 || ::close(FFd) == 0;
    FFd = -1;
    return closed;
  }

 private:
  int FFd;
};

class TPosixLock final : public IFileLock {
 public:
  explicit TPosixLock(int fd) : FFd(fd) {}

 private:
  TFd FFd;  // the lock goes with the descriptor
};

class TPosixDownload final : public IDownloadFile {
 public:
  TPosixDownload(std::string path, int fd) : FPath(std::move(path)), FFd(fd) {}
  ~TPosixDownload() override {
    FFd.Close();
    ::unlink(FPath.c_str());  // gone already when it was installed
  }
  void Write(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(FFd.Get(), bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) Fail("write", FPath, errno);
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
  }
  void Finish() override {
    if (::fsync(FFd.Get()) != 0) Fail("write", FPath, errno);
    if (!FFd.Close()) Fail("write", FPath, errno);
  }
  std::string Path() const override { return FPath; }

 private:
  std::string FPath;
  TFd FFd;
};

// A copy of `from` at `to` with its permission bits, for file systems without hard links.
void CopyFile(const std::string& from, const std::string& to) {
  TFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (in.Get() < 0 || ::fstat(in.Get(), &info) != 0) Fail("read", from, errno);
  TFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
  if (out.Get() < 0) Fail("write", to, errno);
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail("read", from, errno);
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out.Get(), buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) Fail("write", to, errno);
      done += put;
    }
  }
  if (::fsync(out.Get()) != 0 || !out.Close()) Fail("write", to, errno);
}

}  // namespace

bool InstalledByPackageManager(const std::string& exePath) {
  return exePath.starts_with("/usr/");
}

std::string TPosixUpdateFiles::ReplaceProblem(const std::string& exePath) const {
  if (InstalledByPackageManager(exePath))
    return "Updates of this application come through the system's package manager";
  const std::string folder = FolderOf(exePath);
  if (::access(folder.c_str(), W_OK) != 0)
    return "The folder of the application cannot be written: " + folder;
  return {};
}

std::optional<std::string> TPosixUpdateFiles::ReadSmallFile(const std::string& path,
                                                            std::size_t limit) const {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.Get() < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got < 0 ? std::nullopt : std::optional<std::string>(text);
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > limit) return std::nullopt;
  }
}

void TPosixUpdateFiles::WriteSmallFile(const std::string& path, const std::string& bytes) {
  TPosixFileReplacement replacement(path);
  replacement.Write({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  replacement.Commit();
}

bool TPosixUpdateFiles::Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool TPosixUpdateFiles::Exists(const std::string& path) const {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::unique_ptr<IFileLock> TPosixUpdateFiles::TryLock(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) Fail("open", path, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixLock>(fd);
}

std::unique_ptr<IDownloadFile> TPosixUpdateFiles::CreateDownload(const std::string& path) {
  ::unlink(path.c_str());  // a download a crash left behind
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
  if (fd < 0) Fail("create", path, errno);
  return std::make_unique<TPosixDownload>(path, fd);
}

void TPosixUpdateFiles::Install(const std::string& exePath, const std::string& downloadPath,
                                const std::string& backupPath) {
  struct stat info {};
  if (::stat(exePath.c_str(), &info) != 0) Fail("read", exePath, errno);
  // The new executable may be run by whoever may run the old one.
  if (::chmod(downloadPath.c_str(), info.st_mode & 07777) != 0) Fail("write", downloadPath, errno);
  ::unlink(backupPath.c_str());
  if (::link(exePath.c_str(), backupPath.c_str()) != 0) CopyFile(exePath, backupPath);
  if (::rename(downloadPath.c_str(), exePath.c_str()) != 0) {
    const int error = errno;
    ::unlink(backupPath.c_str());
    Fail("replace", exePath, error);
  }
  SyncFolder(exePath);
}

void TPosixUpdateFiles::Restore(const std::string& exePath, const std::string& backupPath,
                                const std::string& /*asidePath*/) {
  if (::rename(backupPath.c_str(), exePath.c_str()) != 0) Fail("restore", exePath, errno);
  SyncFolder(exePath);
}

void TPosixUpdateFiles::RestartInto(const std::string& exePath,
                                    const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exePath.c_str()));
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(exePath.c_str(), argv.data());
  Fail("start", exePath, errno);
}

}  // namespace velloc::platform
